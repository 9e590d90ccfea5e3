#pragma once

// The cases of reading and saving the four options, shared by the test of the options file and the
// test of the Windows registry store, so both stores answer the same table.

#include <functional>
#include <string>
#include <vector>

#include "OptionsStore.h"

namespace OptionsCases {

inline const char* const kFormerSettings = "Software\\Glowsmith 2\\Profile settings";
inline const char* const kFormerOptions = "Software\\Glowsmith 2\\Options";
inline const char* const kCurrentSettings = "Software\\Nerevy's\\Glowsmith 2\\Profile settings";
inline const char* const kCurrentOptions = "Software\\Nerevy's\\Glowsmith 2\\Options";

struct TSeed {
  const char* Path;
  const char* Name;  // nullptr: only the key is made
  const char* Value;
};

struct TCase {
  const char* Title;
  std::vector<TSeed> Seed;
  TStoredOptions Expected;
  const char* KeptKey = nullptr;  // a key of somebody else that must survive
};

// The four values of the settings, as the store keeps them: "Language|Profile|1|0".
inline std::string Text(const TStoredOptions& o) {
  return o.Language + "|" + o.Profile + (o.HideUnusedSlots ? "|1" : "|0") +
         (o.OuterDisplayOnInner ? "|1" : "|0");
}

// The four values under the current key path, "?" for a missing one.
inline std::string Stored(IOptionsStore& store) {
  const auto value = [&](const char* path, const char* name) {
    return store.ReadString(path, name).value_or("?");
  };
  return value(kCurrentSettings, "Language") + "|" + value(kCurrentSettings, "Profile") + "|" +
         value(kCurrentOptions, "HideUnusedSlots") + "|" +
         value(kCurrentOptions, "OuterDisplayOnInner");
}

inline const std::vector<TCase>& Cases() {
  const char* const english = "English";
  const char* const all = "Motorola (All Models)";
  // clang-format off
  static const std::vector<TCase> cases = {
      {"first run without any key", {}, {english, all, true, false}},
      {"only the former path",
       {{kFormerSettings, "Language", "Russian"}, {kFormerSettings, "Profile", "Motorola V3"},
        {kFormerOptions, "HideUnusedSlots", "0"}, {kFormerOptions, "OuterDisplayOnInner", "1"}},
       {"Russian", "Motorola V3", false, true}},
      {"both paths: the former wins",
       {{kCurrentSettings, "Language", "Russian"}, {kCurrentSettings, "Profile", "Motorola V3"},
        {kCurrentOptions, "HideUnusedSlots", "1"}, {kCurrentOptions, "OuterDisplayOnInner", "0"},
        {kFormerSettings, "Language", "German"}, {kFormerSettings, "Profile", "Motorola E398"},
        {kFormerOptions, "HideUnusedSlots", "0"}, {kFormerOptions, "OuterDisplayOnInner", "1"}},
       {"German", "Motorola E398", false, true}},
      {"current path only, flags 0x0 and 2",
       {{kCurrentSettings, "Language", "Russian"}, {kCurrentSettings, "Profile", "Motorola V3"},
        {kCurrentOptions, "HideUnusedSlots", "0x0"}, {kCurrentOptions, "OuterDisplayOnInner", "2"}},
       {"Russian", "Motorola V3", false, true}},
      {"current path: empty language becomes English, empty profile stays, flag yes is missing",
       {{kCurrentSettings, "Language", ""}, {kCurrentSettings, "Profile", ""},
        {kCurrentOptions, "HideUnusedSlots", "yes"}, {kCurrentOptions, "OuterDisplayOnInner", "yes"}},
       {english, "", true, false}},
      {"former path: empty language stays empty, flags as on the current path",
       {{kFormerSettings, "Language", ""}, {kFormerOptions, "HideUnusedSlots", "yes"},
        {kFormerOptions, "OuterDisplayOnInner", " -1 "}},
       {"", all, true, true}},
      {"former key without values", {{"Software\\Glowsmith 2", nullptr, nullptr}}, {english, all, true, false}},
      {"former path written in another case",
       {{"SOFTWARE\\glowsmith 2\\OPTIONS", "outerdisplayoninner", "1"}}, {english, all, true, true}},
      {"a neighbour of the former key is not the former key",
       {{"Software\\Glowsmith 2 Beta\\Options", "HideUnusedSlots", "0"}}, {english, all, true, false},
       "Software\\Glowsmith 2 Beta\\Options"},
  };
  // clang-format on
  return cases;
}

// Runs one case on a store that holds none of our keys. `check` records one expectation and its
// text; `makeKey` creates a key without values.
inline void Run(IOptionsStore& store, const TCase& c,
                const std::function<void(bool, const std::string&)>& check,
                const std::function<void(const std::string&)>& makeKey) {
  using namespace OptionKeys;
  for (const TSeed& seed : c.Seed)
    seed.Name ? store.WriteString(seed.Path, seed.Name, seed.Value) : makeKey(seed.Path);
  const bool hadFormer = store.KeyExists(FormerRoot);
  const bool hadCurrent = store.KeyExists(CurrentRoot);
  const std::string want = Text(c.Expected);

  const TStoredOptions read = ReadStoredOptions(store);
  check(Text(read) == want, "read " + Text(read));
  check(!store.KeyExists(FormerRoot), "former key gone after reading");
  // Moved to the current path at once; otherwise reading alone creates no key.
  check(hadFormer ? Stored(store) == want : store.KeyExists(CurrentRoot) == hadCurrent,
        "after read");
  SaveStoredOptions(store, read);
  check(Stored(store) == want, "saved " + Stored(store));
  if (c.KeptKey) check(store.KeyExists(c.KeptKey), std::string("kept ") + c.KeptKey);

  // The next start reads back what was saved; an empty language becomes English then.
  TStoredOptions next = c.Expected;
  if (next.Language.empty()) next.Language = DefaultLanguage;
  check(Text(ReadStoredOptions(store)) == Text(next), "next start");
}

}  // namespace OptionsCases
