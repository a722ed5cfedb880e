// Programs: starting them, finding them among the running ones, waiting
// for them.
#pragma once

#include <cstdint>
#include <memory>

constexpr uint32_t kWaitInfinite = 0xFFFFFFFF;

// A process handle; closed by the destructor.
class ProcessHandle {
 public:
  virtual ~ProcessHandle() = default;
  // Waits until the process ends or timeoutMs passes (kWaitInfinite: no
  // limit). False only when the wait itself failed.
  virtual bool WaitForExit(uint32_t timeoutMs) = 0;
  // Waits until the started program is ready for input. False when the wait
  // failed (on Windows, for example, a program without a message queue).
  virtual bool WaitUntilIdle(uint32_t timeoutMs) = 0;
};

class Processes {
 public:
  virtual ~Processes() = default;

  // Starts commandLine in workDir without inherited handles.
  virtual std::unique_ptr<ProcessHandle> StartProgram(const char* commandLine,
                                                      const char* workDir) = 0;
  // The id of the first other running process whose executable matches
  // name (case-insensitive), or 0.
  virtual uint32_t FindProcessId(const char* name) = 0;
  // Opens a process for waiting (SYNCHRONIZE | STANDARD_RIGHTS_REQUIRED).
  virtual std::unique_ptr<ProcessHandle> OpenForWait(uint32_t processId) = 0;
};
