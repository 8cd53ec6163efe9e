// Whole-file reading and atomic whole-file writing.
//
// Every file the program writes goes through WriteFileAtomically: the bytes go to a temporary
// file in the target's folder, which is renamed over the target only once it is complete and on
// the disk, so a failed save (or a crash) never destroys an existing file and never leaves a
// partial one behind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tintavo {

// Reads the whole file. Raises EFileError naming the file and the system's reason.
std::vector<std::uint8_t> ReadWholeFile(const std::string& fileName);

// Reads the whole file into memory of the caller's: room(n) returns memory for n bytes that
// holds the bytes read so far (it is called again, with a larger n, should the file turn out
// longer than its size said). Returns the number of bytes read. For callers that hold large
// files in memory they give back themselves.
std::size_t ReadWholeFile(const std::string& fileName, const std::function<std::uint8_t*(std::size_t)>& room);

// Reads at most `count` bytes from the start of the file (fewer when the file is shorter).
std::string ReadFileHeadBytes(const std::string& fileName, std::size_t count);

// Writes `data` to `fileName` atomically: a temporary file with a short name in the same folder,
// synced to the disk, renamed over the target, then the folder synced. A symbolic link is
// written through: the file at the end of its chain is replaced and the link stays. A replaced
// file's permissions, and its owner where the system allows, are kept; a file the user may not
// write is not replaced (as it would not be written in place). Raises EFileError
// naming the file and the system's reason; the temporary file is removed on failure.
void WriteFileAtomically(const std::string& fileName, std::string_view data);
void WriteFileAtomically(const std::string& fileName, const std::vector<std::uint8_t>& data);

}  // namespace tintavo
