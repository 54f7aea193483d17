// The bytes of an image the radio received, kept in a file for whoever checks them against the
// file the tool sent.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vannor::sim {

// Replaces `path` with `bytes`. Written to a file of its own beside it and renamed into place,
// so that a reader finds the previous image or this one, never part of one. False on failure,
// with nothing left behind.
bool SaveReceivedImage(const std::string& path, const std::vector<std::uint8_t>& bytes);

}  // namespace vannor::sim
