#pragma once

#include <cstdint>
#include <optional>
#include <string>

// How far the head office holds a journal: the change number of the last batch it
// committed, kept by the shipper in a file of its own state folder, one file a
// journal identity (a journal made anew starts from nothing). The terminal reads it
// to keep what the office lacks; only the shipper writes it.
namespace journal {

// `folder` with its trailing separator.
std::string ShippedMarkFile(const std::string& folder, const std::string& journalId);

// Nothing: no mark there (nothing shipped yet) or one that can't be read.
std::optional<std::int64_t> ReadShippedMark(const std::string& file);

// Replaces the mark whole (a new file renamed over it), readable by all (the
// terminal's user is none of the shipper's; a change number is no secret): false
// when it could not.
bool WriteShippedMark(const std::string& file, std::int64_t mark);

}  // namespace journal
