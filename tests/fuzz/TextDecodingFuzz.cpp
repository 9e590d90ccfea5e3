// Any bytes as the text of a language file in any code page a language file may name: the result
// is UTF-8, and a text decodes the same whatever follows it.
#include "FuzzCheck.h"
#include "TextDecoding.h"

const char* const kCodepages[] = {"",     "1250", "1251", "1252", "1253",   "1254",  "1255",
                                  "1256", "1257", "1258", "874",  "KOI8-R", "UTF-8", "65001"};

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string codepage = kCodepages[data[0] % std::size(kCodepages)];
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::string decoded = DecodeLanguageText(text, codepage);
  FUZZ_CHECK(IsValidUtf8(decoded));
  // Nothing is held back at the end of a text: a line break after it adds just itself.
  FUZZ_CHECK(DecodeLanguageText(text + "\n", codepage) == decoded + "\n");
  return 0;
}
