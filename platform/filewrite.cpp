#include "platform/filewrite.h"

#include <vector>

#include "base/text.h"
#include "platform/log.h"
#include "platform/regfiles.h"

long ReplaceFileAtomically(const std::string& path, const std::string& bytes) {
  const std::string temp = path + kTempSuffix;
  long err = os::WriteWholeFile(temp, bytes);
  if (err == os::kErrorSuccess) err = os::MoveFileEx(temp, path);
  // The failed step's code is the one to report; a temporary that stays is
  // removed by the next run's housekeeping.
  if (err != os::kErrorSuccess && os::FileExists(temp)) (void)os::DeleteFile(temp);
  return err;
}

std::string ErrorCause(RunContext& rc, long code) {
  const std::string text = fncFormatMessage(rc, static_cast<uint32_t>(code));
  return text.empty() ? std::to_string(code) : text;
}

bool WriteFileChecked(RunContext& rc, const std::string& path, const std::string& bytes,
                      std::string_view failureLine) {
  const long err = ReplaceFileAtomically(path, bytes);
  if (err == os::kErrorSuccess) return true;
  WriteLog(rc, std::string(failureLine) + path + ". ErrDesc: " + ErrorCause(rc, err));
  return false;
}

bool CopyFileChecked(RunContext& rc, const std::string& source, const std::string& destination,
                     bool deleteSource, std::string_view failureLine) {
  std::string bytes;
  long err = os::ReadWholeFile(source, &bytes);
  if (err != os::kErrorSuccess) {
    WriteLog(rc, std::string(failureLine) + source + ". ErrDesc: " + ErrorCause(rc, err));
    return false;
  }
  if (!WriteFileChecked(rc, destination, bytes, failureLine)) return false;
  if (!deleteSource) return true;
  // Clears read-only; the delete's own result says whether the file went.
  (void)os::SetFileAttributes(source, os::kFileAttributeNormal);
  err = os::DeleteFile(source);
  if (err != os::kErrorSuccess) {
    WriteLog(rc, "ERR : Could not delete " + source + " after copying it to " + destination +
                     ". ErrDesc: " + ErrorCause(rc, err));
    return false;
  }
  return true;
}

bool WriteIniValue(RunContext& rc, const std::string& path, const std::string& section,
                   const std::string& key, const std::string& value) {
  std::string text;
  if (os::FileExists(path)) {
    const long err = os::ReadWholeFile(path, &text);
    if (err != os::kErrorSuccess) {
      // Writing without the old content would lose its other sections.
      WriteLog(rc, "ERR : Could not read " + path + ". ErrDesc: " + ErrorCause(rc, err));
      return false;
    }
  }
  return WriteFileChecked(rc, path, SetIniValue(text, section, key, ControlsToSpaces(value)));
}
