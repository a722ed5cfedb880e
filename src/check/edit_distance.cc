#include "check/edit_distance.h"

#include <algorithm>
#include <vector>

#include "check/check_text.h"

size_t Distance(const std::string& a, const std::string& b,
                const CodePage& cp) {
  const std::string x = Folded(a, cp), y = Folded(b, cp);
  std::vector<size_t> row(y.size() + 1);
  for (size_t j = 0; j <= y.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= x.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= y.size(); ++j) {
      const size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1,
                         diagonal + (x[i - 1] == y[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[y.size()];
}
