#include "run/error_report.h"

#include <cstdarg>

#include "base/str_buf.h"
#include "platform/platform.h"
#include "run/interaction.h"
#include "run/runtime.h"

bool ShowErrorReport(Runtime& rt, uint32_t id, ...) {
  char format[256];
  if (rt.platform.LoadResourceString(id, format, sizeof format) <= 0)
    format[0] = 0;
  format[sizeof format - 1] = 0;
  StrBuf text;
  va_list arguments;
  va_start(arguments, id);
  text.FormatList(format, arguments);
  va_end(arguments);
  ShowMessageBox(rt, text.Text(), kMbIconError);
  return false;
}
