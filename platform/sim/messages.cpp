// FormatMessageA over a built-in copy of the common Windows (English) texts.
#include <map>

#include "platform/sim/state.h"

namespace {

const std::map<uint32_t, const char*>& SystemMessages() {
  static const std::map<uint32_t, const char*> table = {
      {0, "The operation completed successfully."},
      {1, "Incorrect function."},
      {2, "The system cannot find the file specified."},
      {3, "The system cannot find the path specified."},
      {4, "The system cannot open the file."},
      {5, "Access is denied."},
      {6, "The handle is invalid."},
      {8, "Not enough memory resources are available to process this command."},
      {14, "Not enough memory resources are available to complete this operation."},
      {15, "The system cannot find the drive specified."},
      {18, "There are no more files."},
      {32, "The process cannot access the file because it is being used by another process."},
      {33, "The process cannot access the file because another process has locked a portion of the file."},
      {38, "Reached the end of the file."},
      {53, "The network path was not found."},
      {80, "The file exists."},
      {87, "The parameter is incorrect."},
      {112, "There is not enough space on the disk."},
      {122, "The data area passed to a system call is too small."},
      {123, "The filename, directory name, or volume label syntax is incorrect."},
      {145, "The directory is not empty."},
      {183, "Cannot create a file when that file already exists."},
      {193, "%1 is not a valid Win32 application."},
      {203, "The system could not find the environment option that was entered."},
      {234, "More data is available."},
      {258, "The wait operation timed out."},
      {259, "No more data is available."},
      {267, "The directory name is invalid."},
      {740, "The requested operation requires elevation."},
      {1053, "The service did not respond to the start or control request in a timely fashion."},
      {1056, "An instance of the service is already running."},
      {1058,
       "The service cannot be started, either because it is disabled or because it has no enabled "
       "devices associated with it."},
      {1060, "The specified service does not exist as an installed service."},
      {1061, "The service cannot accept control messages at this time."},
      {1062, "The service has not been started."},
      {1223, "The operation was canceled by the user."},
      {1460, "This operation returned because the timeout period expired."},
      {0x800B0004, "The subject is not trusted for the specified action."},
      {0x800B0100, "No signature was present in the subject."},
  };
  return table;
}

const std::map<uint32_t, const char*>& WininetMessages() {
  static const std::map<uint32_t, const char*> table = {
      {12001, "No more Internet handles can be allocated"},
      {12002, "The operation timed out"},
      {12003, "The server returned extended information"},
      {12004, "An internal error occurred in the Microsoft Internet extensions"},
      {12005, "The URL is invalid"},
      {12006, "The URL does not use a recognized protocol"},
      {12007, "The server name or address could not be resolved"},
      {12008, "A protocol with the required capabilities was not found"},
      {12009, "The option is invalid"},
      {12010, "The length is incorrect for the option type"},
      {12011, "The option value cannot be set"},
      {12012, "Microsoft Internet Extension support has been shut down"},
      {12013, "The user name was not allowed"},
      {12014, "The password was not allowed"},
      {12015, "The login request was denied"},
      {12016, "The requested operation is invalid"},
      {12017, "The operation has been canceled"},
      {12018, "The supplied handle is the wrong type for the requested operation"},
      {12019, "The handle is in the wrong state for the requested operation"},
      {12020, "The request cannot be made on a Proxy session"},
      {12021, "The registry value could not be found"},
      {12022, "The registry parameter is incorrect"},
      {12023, "Direct Internet access is not available"},
      {12024, "No context value was supplied"},
      {12025, "No status callback was supplied"},
      {12026, "There are outstanding requests"},
      {12027, "The information format is incorrect"},
      {12028, "The requested item could not be found"},
      {12029, "A connection with the server could not be established"},
      {12030, "The connection with the server was terminated abnormally"},
      {12031, "The connection with the server was reset"},
      {12037, "The date in the certificate is invalid or has expired"},
      {12038, "The host name in the certificate is invalid or does not match"},
      {12150, "The requested header was not found"},
      {12152, "The server returned an invalid or unrecognized response"},
      {12156, "The HTTP request was not redirected"},
      {12157, "An error occurred in the secure channel support"},
      {12175, "A security error occurred"},
  };
  return table;
}

}  // namespace

namespace os {

bool FormatMessage(uint32_t code, bool wininet, std::string* text) {
  if (wininet) {
    auto it = WininetMessages().find(code);
    if (it != WininetMessages().end()) {
      *text = std::string(it->second) + "\r\n";
      return true;
    }
  }
  auto it = SystemMessages().find(code);
  if (it == SystemMessages().end()) {
    sim::M().lastError = 317;  // ERROR_MR_MID_NOT_FOUND
    return false;
  }
  *text = std::string(it->second) + "\r\n";
  return true;
}

}  // namespace os
