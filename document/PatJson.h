#pragma once

#include <string>
#include <vector>

#include "UFunStruct.h"

// The document as JSON text, for other tools and for diffs. It holds every byte the PAT writer
// writes, so a PAT file read, turned into JSON and back and saved comes out as a save of it would.
namespace PatJson {

// The funlights as JSON: what the PAT writer would write of them, and nothing else.
std::string Write(const std::vector<UFunStruct::TFunlight>& Funlights);

// Reads JSON text into Funlights (their Size is left for the PAT writer to work out). On failure
// Funlights stays as it was, the result is false and Error says where and why:
// "/funlights/3/frames/0/duration: must be a whole number from 0 to 65535", or the line and column
// of text that is no JSON.
bool Read(const std::string& Text, std::vector<UFunStruct::TFunlight>& Funlights,
          std::string& Error);

// The command line's conversions, on the program's one document. Each returns false with a
// message that starts with the file it is about ("in.json: /funlights: missing").
// The PAT file at PatPath as JSON.
bool PatFileToJson(const std::string& PatPath, std::string& Json, std::string& Error);
// The JSON file at JsonPath saved as the PAT file at PatPath, which is not touched unless all of
// the JSON is right.
bool JsonFileToPat(const std::string& JsonPath, const std::string& PatPath, std::string& Error);

}  // namespace PatJson
