// Placeholder: no application is found yet.
#include "settings/app_path.h"

bool FindAppPath(Platform&, const StrBuf&, StrBuf&, AppPathValue) {
  return false;
}
