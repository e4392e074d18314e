#include "resources/catalog.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "resources/string_ids.h"
#include "support/scoped_code_page.h"

namespace q7k {
namespace {

constexpr int32_t kEnglish = 0;
constexpr int32_t kSpanish = 1;
constexpr int32_t kPortuguese = 2;
constexpr int32_t kFrench = 3;

TEST(CatalogTest, LanguagesLiveAt960Apart) {
  EXPECT_EQ(CatalogUtf8(8385), "Error Indefinido");
  EXPECT_EQ(CatalogUtf8(10305), "Erreur indéterminée");
  EXPECT_EQ(CatalogText(7425, kSpanish), "Error Indefinido");
  // The shifted id is what counts, as with a resource lookup.
  EXPECT_EQ(CatalogText(8385, kEnglish), "Error Indefinido");
}

// Trailing blanks are part of the texts; foreign texts arrive in the host's
// code page (by default Windows-1252), converted from the same UTF-8.
TEST(CatalogTest, TextsAreExactInTheHostCodePage) {
  EXPECT_EQ(CatalogText(ids::kCompleted, kFrench), "Termin\xE9:");
  EXPECT_EQ(CatalogText(7479, kPortuguese),
            "Medindo a Freq\xFC\xEAncia da Linha - Por favor, aguarde! ");
  // Portuguese names the Q7300 where English names the Q7310.
  EXPECT_EQ(CatalogUtf8(9380), "FLASH ROM do Q7300 foi corrompido");
  // U+2019 exists in Windows-1252 only above 0x7F.
  const std::pair<uint32_t, const char*> pages[] = {
      {1252, "D\xE9tect\xE9 probl\xE8me avec l\x92incr\xE9ment de tension."},
      {28591, "D\xE9tect\xE9 probl\xE8me avec l?incr\xE9ment de tension."},
      {65001, "Détecté problème avec l’incrément de tension."}};
  for (const auto& [page, text] : pages) {
    ScopedCodePage scoped(page);
    EXPECT_EQ(CatalogText(7394, kFrench), text) << page;
  }
}

TEST(CatalogTest, NonErrorStringsExistInEnglishOnly) {
  EXPECT_EQ(CatalogText(ids::kModuleName, kEnglish), "Q7kComm");
  EXPECT_EQ(CatalogText(ids::kSimulBhTest, kEnglish), "SimulBhTest");
  EXPECT_EQ(CatalogText(6100, kEnglish), "");  // 6101: the simulator tests
  for (int32_t language = kSpanish; language <= kFrench; ++language) {
    EXPECT_EQ(CatalogText(ids::kModuleName, language), "");
    EXPECT_EQ(CatalogText(ids::kRangeLabelFirst, language), "");
    EXPECT_EQ(CatalogText(ids::kSimulCalErrors, language), "");
  }
}

TEST(CatalogTest, MissingIdsAndLanguagesGiveEmpty) {
  for (int32_t id : {0, -1, 99, 101, 6090, 7359, 7406, 7407, 7423, 7437, 7451,
                     7455, 7468, 7471, 7480, 8319, 10360, 20000}) {
    EXPECT_EQ(CatalogUtf8(id), "") << id;
  }
  EXPECT_EQ(CatalogText(7425, -1), "");
  EXPECT_EQ(CatalogText(7425, 4), "");
  EXPECT_EQ(CatalogText(std::numeric_limits<int32_t>::max(), kFrench), "");
  EXPECT_EQ(CatalogText(std::numeric_limits<int32_t>::min(), kEnglish), "");
}

TEST(CatalogTest, EveryErrorTextExistsInAllFourLanguages) {
  int32_t count = 0;
  for (int32_t id = 7360; id < 7480; ++id) {
    const bool english = !CatalogUtf8(id).empty();
    count += english ? 1 : 0;
    for (int32_t language = kSpanish; language <= kFrench; ++language) {
      EXPECT_EQ(!CatalogUtf8(id + kLanguageStride * language).empty(), english)
          << id << " language " << language;
    }
  }
  EXPECT_EQ(count, 105);
}

}  // namespace
}  // namespace q7k
