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
  EXPECT_EQ(CatalogUtf8(7425), "Undefined Error");
  EXPECT_EQ(CatalogUtf8(8385), "Error Indefinido");
  EXPECT_EQ(CatalogUtf8(9345), "Erro não definido");
  EXPECT_EQ(CatalogUtf8(10305), "Erreur indéterminée");
  EXPECT_EQ(CatalogText(7425, kSpanish), "Error Indefinido");
  // The shifted id is what counts, as with a resource lookup.
  EXPECT_EQ(CatalogText(8385, kEnglish), "Error Indefinido");
}

TEST(CatalogTest, EnglishTextsKeepTheirBlanks) {
  EXPECT_EQ(CatalogText(ids::kBoardSlotMissing, kEnglish),
            "Board slot not found ");
  EXPECT_EQ(CatalogText(7459, kEnglish),
            "Error Programming FLASH ROM.  Application not found in FLASH.");
  EXPECT_EQ(CatalogText(7465, kEnglish),
            "Error Programming FLASH ROM.  Q7310 Firmware not found in "
            "FLASH.  Tests cannot be run.");
  EXPECT_EQ(CatalogText(7467, kEnglish),
            "Q7310 Firmware file requires an updated version. Tests cannot be "
            "run.");
  EXPECT_EQ(CatalogText(ids::kNoResponse, kEnglish),
            "No Response from Q7300, Check Connections");
  EXPECT_EQ(CatalogText(7360, kEnglish), "Undefined");
  EXPECT_EQ(CatalogText(ids::kMeasuringFrequency, kEnglish),
            "Measuring Line Frequency - Please Wait");
  EXPECT_EQ(CatalogText(ids::kCompleted, kEnglish), "Completed:");
}

TEST(CatalogTest, ForeignTextsAreExactInTheHostCodePage) {
  // Default host code page: Windows-1252.
  EXPECT_EQ(CatalogText(ids::kCompleted, kSpanish), "Terminado");
  EXPECT_EQ(CatalogText(ids::kCompleted, kPortuguese), "Completado:");
  EXPECT_EQ(CatalogText(ids::kCompleted, kFrench), "Termin\xE9:");
  EXPECT_EQ(CatalogText(7372, kSpanish),
            "Amplificador de Potencia Da\xF1"
            "ado");
  EXPECT_EQ(CatalogText(7473, kFrench), "N\xBA de param\xE8tre");
  EXPECT_EQ(CatalogText(7399, kFrench),
            "\xC9"
            "chec de l'essai du total de contr\xF4le du bloc "
            "d'amor\xE7"
            "age");
  // U+2019 exists in Windows-1252 only above 0x7F.
  EXPECT_EQ(CatalogText(7394, kFrench),
            "D\xE9tect\xE9 probl\xE8me avec l\x92incr\xE9ment de tension.");
  EXPECT_EQ(CatalogText(7479, kPortuguese),
            "Medindo a Freq\xFC\xEAncia da Linha - Por favor, aguarde! ");
  EXPECT_EQ(CatalogText(7417, kPortuguese),
            "Numero inv\xE1lido de bytes de aplica\xE7\xE3o recebidos ");
  EXPECT_EQ(CatalogText(7477, kSpanish),
            "Por favor espere - Programando la Memoria ROM Flash del Q7310 ");
  EXPECT_EQ(CatalogText(7373, kFrench),
            "Sur-Intensit\xE9 de courant ... la sortie de l'Amplificateur de "
            "puissance");
  // Portuguese names the Q7300 where English names the Q7310.
  EXPECT_EQ(CatalogUtf8(9380), "FLASH ROM do Q7300 foi corrompido");
  EXPECT_EQ(CatalogUtf8(7460 + 960),
            "La Memoria ROM Flash del Q7310 ha sido "
            "corrompido");
}

TEST(CatalogTest, OtherCodePagesConvertTheSameUtf8) {
  {
    ScopedCodePage latin1(28591);
    EXPECT_EQ(CatalogText(7394, kFrench),
              "D\xE9tect\xE9 probl\xE8me avec l?incr\xE9ment de tension.");
  }
  {
    ScopedCodePage utf8(65001);
    EXPECT_EQ(CatalogText(7394, kFrench),
              "Détecté problème avec l’incrément de tension.");
  }
}

TEST(CatalogTest, NonErrorStringsExistInEnglishOnly) {
  EXPECT_EQ(CatalogText(ids::kModuleName, kEnglish), "Q7kComm");
  const char* const kRanges[] = {"10 A",  "3 A",   "1 A",  "300 mA", "100 mA",
                                 "30 mA", "10 mA", "3 mA", "1 mA",   "300 uA"};
  for (int32_t i = 0; i < 10; ++i) {
    EXPECT_EQ(CatalogText(ids::kRangeLabelFirst + i, kEnglish), kRanges[i]);
  }
  EXPECT_EQ(CatalogText(ids::kSimulClipData, kEnglish), "SimulClipData");
  EXPECT_EQ(CatalogText(ids::kSimulExtRef, kEnglish), "SimulExtRef");
  EXPECT_EQ(CatalogText(ids::kSimulLeakReac, kEnglish), "SimulLeakReac");
  EXPECT_EQ(CatalogText(ids::kSimulBhTest, kEnglish), "SimulBhTest");
  EXPECT_EQ(CatalogText(6100, kEnglish), "");
  EXPECT_EQ(CatalogText(ids::kSimulCalErrors, kEnglish), "SimulCalErrors");
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
