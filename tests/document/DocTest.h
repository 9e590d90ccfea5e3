#pragma once

// The fixture of the document tests: every test starts and ends with an empty document, and has a
// temporary folder for its files.
#include <gtest/gtest.h>

#include "DocSupport.h"
#include "SafeReplace.h"
using namespace SafeReplace;

namespace DocSupport {

class TDocTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetDocument(); }
  void TearDown() override { ResetDocument(); }

  // Writes the document and returns the file's bytes.
  Bytes Written() {
    const auto Path = Dir / "out.pat";
    WritePat(Path.string());
    return ReadBytes(Path);
  }

  // Reads Data as a PAT file.
  bool Read(const Bytes& Data) {
    const auto Path = Dir / "in.pat";
    WriteBytes(Path, Data);
    return ReadPat(Path.string());
  }

  TTempDir Dir;
};

}  // namespace DocSupport
