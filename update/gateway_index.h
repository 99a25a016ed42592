// The gateway's definition index NavDefDownload.ini and gateway downloads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/context.h"

constexpr const char* kDefIndexFileName = "NavDefDownload.ini";
// An index is ten short header and value pairs; anything far larger is not one.
constexpr uint64_t kDefIndexMaxBytes = 1 << 20;
constexpr size_t kDefIndexMaxLineChars = 1024;

// Fetches url into the program folder as fileName; true when it was fetched
// (a completed transfer, a 2xx status for http(s), a body). The file is
// replaced only then; a failure leaves an older copy as it was.
bool DownloadFile(RunContext& rc, const std::string& url, const std::string& fileName);
// Reads the index at rc.DefIndexPath into rc.GatewayIndex; true when one of
// the six headers that name a definition was found.
bool ReadINIfile(RunContext& rc);
