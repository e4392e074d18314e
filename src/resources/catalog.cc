#include "resources/catalog.h"

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <limits>

#include "platform/codepage.h"

namespace q7k {
namespace {

inline constexpr int kLanguageCount = 4;

// One base id with its text in each language (null when there is none).
struct CatalogRow {
  int32_t id;
  const char* text[kLanguageCount];
};

constexpr CatalogRow kRows[] = {
#include "resources/catalog_table.inc"
};

constexpr bool RowsAreSorted() {
  for (size_t i = 1; i < std::size(kRows); ++i) {
    if (kRows[i - 1].id >= kRows[i].id) return false;
  }
  return true;
}
static_assert(RowsAreSorted(), "catalog rows must be sorted by unique id");

const CatalogRow* FindRow(int32_t baseId) {
  const CatalogRow* end = std::end(kRows);
  const CatalogRow* row = std::lower_bound(
      std::begin(kRows), end, baseId,
      [](const CatalogRow& r, int32_t id) { return r.id < id; });
  return (row != end && row->id == baseId) ? row : nullptr;
}

}  // namespace

std::string_view CatalogUtf8(int32_t resourceId) {
  // The language ranges never overlap, so at most one language matches.
  for (int language = 0; language < kLanguageCount; ++language) {
    const int64_t baseId =
        static_cast<int64_t>(resourceId) - int64_t{kLanguageStride} * language;
    if (baseId < 0) break;
    const CatalogRow* row = FindRow(static_cast<int32_t>(baseId));
    if (row != nullptr && row->text[language] != nullptr) {
      return row->text[language];
    }
  }
  return {};
}

std::string CatalogText(int32_t baseId, int32_t language) {
  if (language < 0 || language >= kLanguageCount) return {};
  const int64_t resourceId =
      static_cast<int64_t>(baseId) + int64_t{kLanguageStride} * language;
  if (resourceId > std::numeric_limits<int32_t>::max()) return {};
  return Utf8ToAnsi(CatalogUtf8(static_cast<int32_t>(resourceId)));
}

}  // namespace q7k
