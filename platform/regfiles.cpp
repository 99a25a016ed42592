#include "platform/regfiles.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/filewrite.h"
#include "platform/identity.h"
#include "platform/log.h"
#include "base/text.h"

namespace {

// Procedures that ignore their errors still must not swallow the end of run.
template <class F>
void ResumeNext(F&& step) {
  try {
    step();
  } catch (...) {
    (void)CurrentError();
  }
}

std::string Num(long n) { return std::to_string(n); }

std::string WithBackslash(std::string folder) {
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  return folder;
}

// Left(text, n): a negative length is an invalid call, as the message lookup
// relies on for texts that are too short to hold their line break.
std::string Left(const std::string& text, long n) {
  if (n < 0) throw RtError::InvalidCall();
  return text.substr(0, static_cast<size_t>(n));
}

std::vector<std::string> SplitOn(const std::string& text, char sep) {
  std::vector<std::string> pieces;
  if (text.empty()) return pieces;  // an empty text has no pieces at all
  size_t start = 0;
  while (true) {
    size_t hit = text.find(sep, start);
    if (hit == std::string::npos) {
      pieces.push_back(text.substr(start));
      return pieces;
    }
    pieces.push_back(text.substr(start, hit - start));
    start = hit + 1;
  }
}

const std::string& Piece(const std::vector<std::string>& pieces, size_t i) {
  if (i >= pieces.size()) throw RtError{9, "Subscript out of range"};
  return pieces[i];
}

constexpr const char* kCurrentVersionKey = "SOFTWARE\\Microsoft\\windows\\CurrentVersion";

// The common-files and program-files lookups differ only in value and texts.
std::string ProgramFolderValue(RunContext& rc, const char* valueName, const std::string& openError) {
  std::string value;
  ResumeNext([&] {
    os::RegKey key;
    long err = os::RegOpenKeyEx(kCurrentVersionKey, os::kKeyRead, &key);
    if (err != 0) {
      WriteLog(rc, openError + kCurrentVersionKey + ". ErrDesc: " +
                       fncFormatMessage(rc, static_cast<uint32_t>(err)));
      return;
    }
    value = WithBackslash(TrimSpaces(GetRegValue(rc, key, valueName, os::kRegSz)));
  });
  return value;
}

}  // namespace

RtError FileSystemError(long win32Code) {
  switch (win32Code) {
    case os::kErrorFileNotFound:
      return RtError::FileNotFound();
    case os::kErrorPathNotFound:
      return RtError::PathNotFound();
    case os::kErrorAccessDenied:
      return RtError::PermissionDenied();
    case os::kErrorFileExists:
      return {58, "File already exists"};
    default:
      return {75, "Path/File access error"};
  }
}

// ---- Registry values ---------------------------------------------------------

std::string ReadRegString(const os::RegKey& key, const std::string& valueName) {
  try {
    uint32_t type = 0, size = 0;
    if (os::RegQueryValueEx(key, valueName, &type, nullptr, &size) != 0) return {};
    if (type != os::kRegSz) return {};
    std::string data(size, '\0');
    uint32_t bufferSize = size;
    if (os::RegQueryValueEx(key, valueName, &type, &data, &bufferSize) != 0) return {};
    return TrimAtNull(data);
  } catch (...) {
    (void)CurrentError();
    return {};
  }
}

namespace {

void LogWrongType(RunContext& rc, GetRegValueForm form, const std::string& valueName, uint32_t actualType) {
  if (form == GetRegValueForm::kA) {
    WriteLog(rc, "ERR : GetRegValue - Could not read " + valueName);
  } else {
    WriteLog(rc, "ERR : functionGetRegValue - Could not read " + valueName + ". ErrDesc: the value is stored as " +
                     RegTypeName(actualType));
  }
}

}  // namespace

std::string GetRegValue(RunContext& rc, const os::RegKey& key, const std::string& valueName,
                        uint32_t type, GetRegValueForm form) {
  const bool formA = form == GetRegValueForm::kA;
  try {
    if (formA) WriteLog(rc, "MSG : Executing Function GetRegValue ");
    if (type == os::kRegDword) {
      // Neither query is checked: a missing value reads as 0.
      uint32_t actualType = 0, size = 0;
      const bool present = os::RegQueryValueEx(key, valueName, &actualType, nullptr, &size) == 0;
      if (present && actualType != os::kRegDword) {
        // The bytes of a text are no number: reported, never reinterpreted.
        LogWrongType(rc, form, valueName, actualType);
        return {};
      }
      std::string data;
      uint32_t bufferSize = sizeof(int32_t);
      int32_t value = 0;
      if (os::RegQueryValueEx(key, valueName, &actualType, &data, &bufferSize) == 0)
        std::memcpy(&value, data.data(), std::min(data.size(), sizeof value));
      return std::to_string(value);
    }
    if (type == os::kRegSz) {
      uint32_t actualType = 0, size = 0;
      if (os::RegQueryValueEx(key, valueName, &actualType, nullptr, &size) != 0) return {};
      if (actualType != os::kRegSz && actualType != os::kRegExpandSz && actualType != os::kRegMultiSz) {
        // A number or binary value copied as text would put raw bytes into records.
        LogWrongType(rc, form, valueName, actualType);
        return {};
      }
      std::string data(size, '\0');
      uint32_t bufferSize = size;
      long err = os::RegQueryValueEx(key, valueName, &actualType, &data, &bufferSize);
      if (err != 0) {
        if (formA)
          WriteLog(rc, "ERR : GetRegValue - Could not read " + valueName);
        else
          WriteLog(rc, "ERR : functionGetRegValue - Could not read " + valueName + ". ErrDesc: " +
                           fncFormatMessage(rc, static_cast<uint32_t>(err)));
        return {};
      }
      return TrimAtNull(data);
    }
    return {};
  } catch (...) {
    RtError e = CurrentError();
    if (formA)
      WriteLog(rc, "ERR : GetRegValue " + Num(e.number) + " " + e.description);
    else
      WriteLog(rc, "ERR : Function GetRegValue. " + Num(e.number) + "\t" + e.description);
    return {};
  }
}

std::string fncRegKeyValue(RunContext& rc, const std::string& keyPath, const std::string& valueName) {
  std::string value;
  ResumeNext([&] {
    os::RegKey key;
    long err = os::RegOpenKeyEx(keyPath, os::kKeyRead, &key);
    if (err != 0) {
      WriteLog(rc, "ERR : fncRegKeyValue. Could not open registry key " + keyPath + ". ErrDesc: " +
                       fncFormatMessage(rc, static_cast<uint32_t>(err)));
      return;
    }
    value = TrimSpaces(GetRegValue(rc, key, valueName, os::kRegSz));
    if (!value.empty()) value = WithBackslash(value);
  });
  return value;
}

std::string fncGetRegValuePublic(RunContext& rc, const std::string& keyPath,
                                 const std::string& valueName) {
  std::string value;
  try {
    WriteLog(rc, "MSG : Checking for Registry Key " + keyPath + "::" + valueName);
    os::RegKey key;
    long err = os::RegOpenKeyEx(keyPath, os::kKeyRead, &key);
    if (err != 0) {
      WriteLog(rc, "ERR : Unable to open Registry key. ErrorCode :" +
                       fncFormatMessage(rc, static_cast<uint32_t>(err)));
      return {};
    }
    value = GetRegValue(rc, key, valueName, os::kRegSz);
    WriteLog(rc, "MSG : Registry value :: " + value);
  } catch (...) {
    RtError e = CurrentError();
    WriteLog(rc, "ERR : fncGetRegValuePublic. " + Num(e.number) + "::" + e.description);
  }
  return value;
}

std::string fncPrgFileDir(RunContext& rc) {
  return ProgramFolderValue(rc, "CommonFilesDir",
                            "ERR : function fncPrgFileDir - Could not open registry key ");
}

std::string fncPrgFileDirforCA(RunContext& rc) {
  return ProgramFolderValue(rc, "ProgramFilesDir",
                            " ERR : function fncPrgFileDirforCA - Could not open registry key ");
}

// ---- Paths ---------------------------------------------------------------------

std::string ExpandEnvPath(RunContext& rc, const std::string& text) {
  try {
    const std::string trimmed = TrimSpaces(text);
    const std::vector<std::string> pieces = SplitOn(trimmed, '%');
    if (!Piece(pieces, 0).empty()) return trimmed;
    const std::string& reference = Piece(pieces, 1);
    std::string value;
    // The value is read into a 255-character buffer; a longer one does not fit.
    if (!os::GetEnvironmentVariable(TrimSpaces(reference), &value) || value.size() >= 255)
      value.clear();
    value = TrimAtNull(value);
    return ReplaceAll(trimmed, "%" + reference + "%", value);
  } catch (...) {
    RtError e = CurrentError();
    WriteLog(rc, "ERR : " + Num(e.number) + e.description + std::to_string(os::GetLastError()));
    return {};
  }
}

std::string GetSpecialfolder(RunContext& rc, int csidl) {
  try {
    std::string path;
    if (!os::GetSpecialFolderPath(csidl, &path)) return {};
    return TrimAtNull(path);
  } catch (...) {
    RtError e = CurrentError();
    WriteLog(rc, "ERR : " + Num(e.number) + " (" + e.description +
                     ") in procedure GetSpecialfolder of Module modMain");
    return {};
  }
}

std::string GetShortpath(RunContext& rc, const std::string& path) {
  try {
    constexpr uint32_t kBufferChars = 250;
    std::string buffer(kBufferChars, '\0');
    std::string shortPath;
    uint32_t n = os::GetShortPathName(path, kBufferChars - 1, &shortPath);
    if (n < 1) {
      rc.ShortPathResult = "False";
      return path;
    }
    // A path that does not fit leaves the buffer as it was.
    if (n < kBufferChars - 1) buffer.replace(0, shortPath.size(), shortPath);
    rc.ShortPathResult = "True";
    return buffer.substr(0, n);
  } catch (...) {
    RtError e = CurrentError();
    WriteLog(rc, "ERR : In GetShortpath " + Num(e.number) + "  " + e.description);
    return path;
  }
}

// ---- Files ---------------------------------------------------------------------

bool fncDeleteFile(RunContext& rc, const std::string& path, DeleteForm form) {
  try {
    os::Sleep(form == DeleteForm::kA ? 2000 : 5000);
    // Both forms remove read-only files too (a forced delete in one, cleared
    // attributes in the other); the attribute call's own result is not used.
    (void)os::SetFileAttributes(path, os::kFileAttributeNormal);
    long err = os::DeleteFile(path);
    if (err != 0) throw FileSystemError(err);
    return true;
  } catch (...) {
    RtError e = CurrentError();
    WriteLog(rc, "ERR : fncDeleteFile " + path + " " + Num(e.number) + " " + e.description);
    return false;
  }
}

bool fncCopyFile(RunContext& rc, const std::string& destinationFolder) {
  try {
    const std::string& source = rc.DataFilePath;
    if (!os::FileExists(source)) return false;
    if (destinationFolder.empty()) return false;
    size_t slash = source.find_last_of('\\');
    const std::string name = slash == std::string::npos ? source : source.substr(slash + 1);
    // The source goes only once its copy is complete.
    return CopyFileChecked(rc, source, destinationFolder + name, true,
                           "ERR : Function fncCopyFile. Could not move ");
  } catch (...) {
    RtError e = CurrentError();
    WriteLog(rc, "ERR : Function fncCopyFile. ErrDesc: " + Num(e.number) + " " + e.description);
    return false;
  }
}

std::string fncGetFileSize(RunContext& rc, const std::string& path) {
  try {
    if (!os::FileExists(path)) throw RtError::FileNotFound();
    uint64_t size = 0;
    long err = os::GetFileSize(path, &size);
    if (err != 0) throw FileSystemError(err);
    if (size == 0) return "0";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.3f KB", static_cast<double>(size) / 1024.0);
    return buf;
  } catch (...) {
    RtError e = CurrentError();
    WriteLog(rc, "ERR : fncGetFileSize " + Num(e.number) + " " + e.description);
    return {};
  }
}

std::string fncFormatMessage(RunContext& rc, uint32_t code) {
  try {
    const bool wininet = code >= 12000;
    const size_t bufferChars = wininet ? 256 : 200;
    std::string text;
    // FormatMessageA fails when the text and its NUL do not fit the buffer.
    if (!os::FormatMessage(code, wininet, &text) || text.size() >= bufferChars) text.clear();
    if (wininet && text.empty()) return {};
    return std::to_string(code) + "-" + Left(text, static_cast<long>(text.size()) - 2);
  } catch (...) {
    RtError e = CurrentError();
    WriteLog(rc, "ERR : Function - fncFormatMessage. ErrDesc : " + Num(e.number) + " " + e.description);
    return {};
  }
}

// ---- Uninstall-list searches ---------------------------------------------------

long WalkSubkeys(const std::string& keyPath, uint32_t access, const SubkeyVisitor& visit) {
  os::RegKey parent;
  long err = os::RegOpenKeyEx(keyPath, access, &parent);
  if (err != 0) return err;
  constexpr uint32_t kNameBufferChars = 255;
  for (uint32_t index = 0;; ++index) {
    std::string name;
    if (os::RegEnumKey(parent, index, kNameBufferChars, &name) != 0) break;
    name = TrimAtNull(name);
    const std::string subkeyPath = keyPath + "\\" + name;
    os::RegKey subkey;
    if (os::RegOpenKeyEx(subkeyPath, access, &subkey) != 0) break;
    if (!visit(subkey, name, subkeyPath, parent)) break;
  }
  return 0;
}
