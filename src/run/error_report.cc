#include "run/error_report.h"

#include <cstdarg>
#include <new>

#include "base/str_buf.h"
#include "platform/platform.h"
#include "run/interaction.h"
#include "run/runtime.h"

namespace {

class BoxSink : public ErrorSink {
 public:
  void Take(Runtime& rt, const ErrorReport& report) override {
    (void)ShowMessageBox(rt, report.text.c_str(), kMbIconError);  // OK only
  }
};

ErrorReport FormatReport(Runtime& rt, uint32_t id, va_list arguments) {
  char format[256];
  if (rt.platform.ui().LoadResourceString(id, format, sizeof format) <= 0)
    format[0] = 0;
  format[sizeof format - 1] = 0;
  StrBuf text;
  text.FormatList(rt.codePage, format, arguments);
  ErrorReport report;
  report.id = id;
  report.text = text.Text();
  return report;
}

ErrorReport Format(Runtime& rt, uint32_t id, ...) {
  va_list arguments;
  va_start(arguments, id);
  ErrorReport report = FormatReport(rt, id, arguments);
  va_end(arguments);
  return report;
}

}  // namespace

ErrorSink& ErrorBoxSink() {
  static BoxSink sink;
  return sink;
}

bool ShowErrorReport(Runtime& rt, uint32_t id, ...) {
  va_list arguments;
  va_start(arguments, id);
  const ErrorReport report = FormatReport(rt, id, arguments);
  va_end(arguments);
  rt.errorSink->Take(rt, report);
  return false;
}

bool ShowOutOfMemory(Runtime& rt, const char* object) {
  try {
    ShowErrorReport(rt, kMsgOutOfMemory, object);
  } catch (const std::bad_alloc&) {
    // Nothing is left to say it with; the failure still shows in the exit
    // code and the transcript.
  }
  return false;
}

bool ShowKeyErrorReport(Runtime& rt, uint32_t id, const char* section,
                        const char* key) {
  ErrorReport report = Format(rt, id, section, key);
  report.section = section;
  report.key = key;
  rt.errorSink->Take(rt, report);
  return false;
}
