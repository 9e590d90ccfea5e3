#pragma once

// The cases of reading and saving the four options, shared by the test of the options file and the
// test of the Windows registry store, so both stores answer the same table.

#include <functional>
#include <string>
#include <vector>

#include "OptionsStore.h"

namespace OptionsCases {

struct TSeed {
  const char* Path;
  const char* Name;  // nullptr: only the key is made
  const char* Value;
};

struct TCase {
  const char* Title;
  std::vector<TSeed> Seed;
  TStoredOptions Expected;
  const char* KeptKey;  // a key of somebody else that must survive, or nullptr
};

inline const char* const kFormerSettings = "Software\\Glowsmith 2\\Profile settings";
inline const char* const kFormerOptions = "Software\\Glowsmith 2\\Options";
inline const char* const kCurrentSettings = "Software\\Nerevy's\\Glowsmith 2\\Profile settings";
inline const char* const kCurrentOptions = "Software\\Nerevy's\\Glowsmith 2\\Options";

inline const std::vector<TCase>& Cases() {
  static const std::vector<TCase> cases = {
      {"first run without any key", {}, {"English", "Motorola (All Models)", true, false}, nullptr},
      {"only the former path",
       {{kFormerSettings, "Language", "Russian"},
        {kFormerSettings, "Profile", "Motorola V3"},
        {kFormerOptions, "HideUnusedSlots", "0"},
        {kFormerOptions, "OuterDisplayOnInner", "1"}},
       {"Russian", "Motorola V3", false, true},
       nullptr},
      {"both paths: the former wins",
       {{kCurrentSettings, "Language", "Russian"},
        {kCurrentSettings, "Profile", "Motorola V3"},
        {kCurrentOptions, "HideUnusedSlots", "1"},
        {kCurrentOptions, "OuterDisplayOnInner", "0"},
        {kFormerSettings, "Language", "German"},
        {kFormerSettings, "Profile", "Motorola E398"},
        {kFormerOptions, "HideUnusedSlots", "0"},
        {kFormerOptions, "OuterDisplayOnInner", "1"}},
       {"German", "Motorola E398", false, true},
       nullptr},
      {"current path only",
       {{kCurrentSettings, "Language", "Russian"},
        {kCurrentSettings, "Profile", "Motorola V3"},
        {kCurrentOptions, "HideUnusedSlots", "0"},
        {kCurrentOptions, "OuterDisplayOnInner", "1"}},
       {"Russian", "Motorola V3", false, true},
       nullptr},
      {"flag yes reads as the default",
       {{kCurrentOptions, "HideUnusedSlots", "yes"},
        {kCurrentOptions, "OuterDisplayOnInner", "yes"}},
       {"English", "Motorola (All Models)", true, false},
       nullptr},
      {"flag 2 reads as checked",
       {{kCurrentOptions, "HideUnusedSlots", "0"}, {kCurrentOptions, "OuterDisplayOnInner", "2"}},
       {"English", "Motorola (All Models)", false, true},
       nullptr},
      {"flags in hexadecimal and negative",
       {{kCurrentOptions, "HideUnusedSlots", "0x0"},
        {kCurrentOptions, "OuterDisplayOnInner", "-1"}},
       {"English", "Motorola (All Models)", false, true},
       nullptr},
      {"flag yes on the former path",
       {{kFormerOptions, "HideUnusedSlots", "yes"}, {kFormerOptions, "OuterDisplayOnInner", "2"}},
       {"English", "Motorola (All Models)", true, true},
       nullptr},
      {"empty language on the current path becomes English, empty profile stays",
       {{kCurrentSettings, "Language", ""}, {kCurrentSettings, "Profile", ""}},
       {"English", "", true, false},
       nullptr},
      {"empty language on the former path stays empty",
       {{kFormerSettings, "Language", ""}, {kFormerSettings, "Profile", "Motorola V3"}},
       {"", "Motorola V3", true, false},
       nullptr},
      {"former key without values",
       {{"Software\\Glowsmith 2", nullptr, nullptr}},
       {"English", "Motorola (All Models)", true, false},
       nullptr},
      {"former path written in another case",
       {{"SOFTWARE\\glowsmith 2\\OPTIONS", "outerdisplayoninner", "1"}},
       {"English", "Motorola (All Models)", true, true},
       nullptr},
      {"a neighbour of the former key is not the former key",
       {{"Software\\Glowsmith 2 Beta\\Options", "HideUnusedSlots", "0"}},
       {"English", "Motorola (All Models)", true, false},
       "Software\\Glowsmith 2 Beta\\Options"},
  };
  return cases;
}

// Runs one case on a store that holds none of our keys. `check` records one expectation and its
// text; `makeKey` creates a key without values.
inline void Run(IOptionsStore& store, const TCase& c,
                const std::function<void(bool, const std::string&)>& check,
                const std::function<void(const std::string&)>& makeKey) {
  using namespace OptionKeys;
  for (const TSeed& seed : c.Seed) {
    if (seed.Name) {
      store.WriteString(seed.Path, seed.Name, seed.Value);
    } else {
      makeKey(seed.Path);
    }
  }
  const bool hadFormer = store.KeyExists(FormerRoot);
  const bool hadCurrent = store.KeyExists(CurrentRoot);

  const auto same = [&](const TStoredOptions& got, const TStoredOptions& want,
                        const std::string& when) {
    check(got.Language == want.Language, when + ": Language \"" + got.Language + "\"");
    check(got.Profile == want.Profile, when + ": Profile \"" + got.Profile + "\"");
    check(got.HideUnusedSlots == want.HideUnusedSlots, when + ": HideUnusedSlots");
    check(got.OuterDisplayOnInner == want.OuterDisplayOnInner, when + ": OuterDisplayOnInner");
  };
  const auto stored = [&](const TStoredOptions& want, const std::string& when) {
    check(store.ReadString(kCurrentSettings, "Language") == want.Language, when + ": Language");
    check(store.ReadString(kCurrentSettings, "Profile") == want.Profile, when + ": Profile");
    check(store.ReadString(kCurrentOptions, "HideUnusedSlots") ==
              std::string(want.HideUnusedSlots ? "1" : "0"),
          when + ": HideUnusedSlots");
    check(store.ReadString(kCurrentOptions, "OuterDisplayOnInner") ==
              std::string(want.OuterDisplayOnInner ? "1" : "0"),
          when + ": OuterDisplayOnInner");
  };

  const TStoredOptions read = ReadStoredOptions(store);
  same(read, c.Expected, "read");
  check(!store.KeyExists(FormerRoot), "former key gone after reading");
  if (hadFormer) {
    stored(c.Expected, "current path right after moving the former one");
  } else {
    check(store.KeyExists(CurrentRoot) == hadCurrent, "reading alone creates no key");
  }

  SaveStoredOptions(store, read);
  stored(c.Expected, "after saving");
  check(!store.KeyExists(FormerRoot), "former key not written back");
  if (c.KeptKey) check(store.KeyExists(c.KeptKey), std::string("kept ") + c.KeptKey);

  // The next start reads back what was saved; an empty language becomes English then.
  TStoredOptions next = c.Expected;
  if (next.Language.empty()) next.Language = DefaultLanguage;
  same(ReadStoredOptions(store), next, "next start");
}

}  // namespace OptionsCases
