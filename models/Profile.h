#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

// One shape of an element on the skin picture, in pixels of the preview's drawing area.
struct TCoord {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Right = 0;
  int32_t Bottom = 0;
  std::string Shape;  // "Rectangle" or "Circle"
  int32_t Opacity = 0;
};

// Element kinds held in ElementColour.
constexpr int32_t AbsentElement = -2;
constexpr int32_t FullColourElement = -1;

// The one settings record: chosen profile and language, element kinds, skin layout, preview state
// and the interface texts taken from the language file. Element arrays are indexed 1..7.
struct TProfile {
  std::string ProfileName;
  std::string LangExt;
  std::string Language;
  std::string ClubMarker;
  std::array<int32_t, 8> ElementColour{};
  std::array<int8_t, 8> ShapeCount{};
  std::array<std::vector<TCoord>, 8> Shapes;
  std::array<bool, 8> Available{};
  std::array<bool, 8> HaveImage{};
  std::array<bool, 8> Lit{};
  uint8_t ElementCount = 0;
  std::string PlayText;
  std::string StopText;
  std::string ConnectedText;
  std::string DisconnectedText;
  std::string NotConnectedMsg;
  std::string NoPhoneFileMsg;
  std::string LastFrameWarning;
  std::string NotFunlightFileMsg;  // %1 is the file's name
  std::string FunlightListFullMsg;
  std::string OutOfMemoryMsg;
  // Failed phone commands: what failed (%1 the phone file), then why.
  std::string PhoneReadFailedMsg;
  std::string PhoneSaveFailedMsg;
  std::string PhoneOptionsReadFailedMsg;
  std::string PhoneOptionsWriteFailedMsg;
  std::string PhoneNoAnswerText;
  std::string PhoneTransferFailedText;
  std::string PhoneBadAnswerText;
  std::string PhoneRefusedText;
  // The folder of the phone's copy is not private (%1 the folder).
  std::string PhoneCopyFolderMsg;
  // Undo and redo: the menu words, the edits' names by key, and the unsaved-changes question.
  std::string UndoText, RedoText, UndoNamedText, RedoNamedText;  // %1: the edit's name
  std::string AskToSaveMsg, SaveText, DiscardText, CancelText;
  std::map<std::string, std::string> EditNames;
  // Animation export: a clublight refused, a failed write (%1 the file), the save dialog's filter.
  std::string ExportClubMsg, ExportFailedMsg, GifFilterText;
};

inline TProfile Profile;

// Kind of element n (1..7); values below -2 count as absent.
inline int32_t ElementKind(int n) {
  if (n < 1 || n > 7) return AbsentElement;
  return Profile.ElementColour[static_cast<size_t>(n)] < AbsentElement
             ? AbsentElement
             : Profile.ElementColour[static_cast<size_t>(n)];
}
inline bool IsSingleColour(int n) {
  return ElementKind(n) >= 0;
}
inline bool IsAbsent(int n) {
  return ElementKind(n) == AbsentElement;
}
