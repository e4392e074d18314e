// The message catalog: every text the component shows, in four languages.
//
// A text has a base id (the English one); the same text in language L has the
// id base + 960 * L (0 English, 1 Spanish, 2 Portuguese, 3 French). Texts are
// stored as UTF-8 and handed out in the host's 8-bit code page.
//
// Thread safety: the catalog is constant; every function is safe from any
// thread.
#ifndef Q7K_RESOURCES_CATALOG_H_
#define Q7K_RESOURCES_CATALOG_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace q7k {

inline constexpr int32_t kLanguageStride = 960;

// The UTF-8 text stored under the resource id (already including the language
// offset); empty when the id does not exist.
std::string_view CatalogUtf8(int32_t resourceId);

// The text of base id baseId in language (0..3), converted to the host's
// 8-bit code page; empty when missing (also for languages outside 0..3 and
// for ids whose shifted value does not exist).
std::string CatalogText(int32_t baseId, int32_t language);

}  // namespace q7k

#endif  // Q7K_RESOURCES_CATALOG_H_
