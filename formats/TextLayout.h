// What the text layouts share besides numbers and tokens: which lines are comments or blank,
// the name a file is titled after, the comment lines and the "Converted by" line the writers
// put in, and the sizes and bit depths a writer accepts.
//
//   # Converted by Vorn LUT Converter      <- ConvertedByLine
//   # first line of a LUT comment          <- CommentLines("first line of a LUT comment\nsecond")
//   # second
//
//   TITLE "grade"                           <- BaseNameWithoutExtension("/any/folder/grade.cms")
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "lut/LUT.h"

namespace tintavo {

inline constexpr const char* ConvertedByLine = "# Converted by Vorn LUT Converter";

// True when the line holds only characters with code 32 or below (or nothing).
bool IsBlankLine(std::string_view line);
// True when the first character above code 32 is "#".
bool IsCommentLine(std::string_view line);
// The text after the first "#" of a comment line, trimmed.
std::string CommentText(std::string_view line);

// The comment lines a writer puts in for one LUT comment: "# " and the comment, one line per
// part when it holds line breaks (CR, LF and CR LF each end a part, and empty parts stay), so
// that no part of a comment can pass for a header or data line.
std::vector<std::string> CommentLines(const std::string& comment);

// The file's name without its folder and without its last extension: "grade.swto.xml" gives
// "grade.swto", ".hidden" stays ".hidden". Only "/" separates folders: on this system a
// backslash is part of a file's name, so "dir\grade.cms" is titled "dir\grade".
std::string BaseNameWithoutExtension(const std::string& fileName);
// True when the file's name ends in `extension` (given with its dot), compared without regard
// to the case of ASCII letters; the extension is the part from the name's last ".".
bool HasExtension(const std::string& fileName, std::string_view extension);

// Bit depths a writer (or a reader taking the depth from the file) accepts: 1 to `largest`.
// Raises ELUTError "Unsupported bit depth N (1 to M bits)." otherwise.
void CheckBitDepth(long long bits, int largest);
// Integer codes up to 2^62 - 1 fit a signed 64-bit integer with room for rounding.
constexpr int MaxCodeBits = 62;

// Sizes the writers loop over: a size the tables cannot hold (a LUT left by a failed load, for
// one) must never reach the loops. 3D: 2 to MaxLut3DSize points per axis; 1D: 2 to MaxLut1DSize
// entries. Raise ELUTError "Cannot write a 3D LUT of size N: ...".
void CheckWriteSize3D(const TLUT& lut);
void CheckWriteSize1D(const TLUT& lut);

}  // namespace tintavo
