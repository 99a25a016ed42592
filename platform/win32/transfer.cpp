// Network transfers on Windows: urlmon's URLDownloadToFileA and WinINet
// (page reads and FTP). The HTTP request object is in request.cpp (WinHTTP's
// header cannot share a file with WinINet's).
#include "platform/win32/win32_api.h"

#include <urlmon.h>
#include <wininet.h>

#include <string>

#undef InternetOpen
#undef InternetOpenUrl
#undef InternetConnect
#undef FtpSetCurrentDirectory
#undef FtpFindFirstFile
#undef FtpGetFile
#undef URLDownloadToFile

#include "platform/os.h"

namespace os {

namespace {

long LastErrorOr(long fallback) {
  const DWORD code = ::GetLastError();
  return code != 0 ? static_cast<long>(code) : fallback;
}

// The bind callback of URLDownloadToFileA: it learns the HTTP status
// (IHttpNegotiate::OnResponse, reached through IServiceProvider as urlmon asks
// for it) and the announced length (OnProgress), which the bare call hides.
class DownloadCallback : public IBindStatusCallback, public IHttpNegotiate, public IServiceProvider {
 public:
  ULONG status = 0;
  ULONG announced = 0;
  ULONG received = 0;

  // IUnknown: lives on the caller's stack; reference counts are not needed.
  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IBindStatusCallback)) {
      *out = static_cast<IBindStatusCallback*>(this);
    } else if (IsEqualIID(riid, IID_IHttpNegotiate)) {
      *out = static_cast<IHttpNegotiate*>(this);
    } else if (IsEqualIID(riid, IID_IServiceProvider)) {
      *out = static_cast<IServiceProvider*>(this);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }

  // IServiceProvider
  STDMETHODIMP QueryService(REFGUID service, REFIID riid, void** out) override {
    if (IsEqualGUID(service, IID_IHttpNegotiate) || IsEqualGUID(service, IID_IBindStatusCallback)) {
      return QueryInterface(riid, out);
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }

  // IHttpNegotiate
  STDMETHODIMP BeginningTransaction(LPCWSTR, LPCWSTR, DWORD, LPWSTR* extra) override {
    if (extra != nullptr) *extra = nullptr;
    return S_OK;
  }
  STDMETHODIMP OnResponse(DWORD code, LPCWSTR, LPCWSTR, LPWSTR* extra) override {
    if (extra != nullptr) *extra = nullptr;
    status = code;
    return S_OK;
  }

  // IBindStatusCallback
  STDMETHODIMP OnStartBinding(DWORD, IBinding*) override { return S_OK; }
  STDMETHODIMP GetPriority(LONG*) override { return E_NOTIMPL; }
  STDMETHODIMP OnLowResource(DWORD) override { return S_OK; }
  STDMETHODIMP OnProgress(ULONG progress, ULONG progressMax, ULONG statusCode, LPCWSTR) override {
    if (statusCode == BINDSTATUS_ENDDOWNLOADDATA || statusCode == BINDSTATUS_DOWNLOADINGDATA ||
        statusCode == BINDSTATUS_BEGINDOWNLOADDATA) {
      announced = progressMax;
      received = progress;
    }
    return S_OK;
  }
  STDMETHODIMP OnStopBinding(HRESULT, LPCWSTR) override { return S_OK; }
  STDMETHODIMP GetBindInfo(DWORD* flags, BINDINFO* info) override {
    // Always from the server: a cached copy would hide a failed fetch.
    if (flags != nullptr) *flags |= BINDF_GETNEWESTVERSION | BINDF_NOWRITECACHE | BINDF_PRAGMA_NO_CACHE;
    return S_OK;
  }
  STDMETHODIMP OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) override { return S_OK; }
  STDMETHODIMP OnObjectAvailable(REFIID, IUnknown*) override { return S_OK; }
};

// The WinINet code for urlmon's INET_E_* results, so that the log shows
// the same texts as for the other transports.
long DownloadError(HRESULT hr) {
  switch (static_cast<unsigned long>(hr)) {
    case 0x800C0002UL: return kInternetInvalidUrl;           // INET_E_INVALID_URL
    case 0x800C0004UL: return kInternetCannotConnect;        // INET_E_CANNOT_CONNECT
    case 0x800C0005UL: return kInternetNameNotResolved;      // INET_E_RESOURCE_NOT_FOUND
    case 0x800C0006UL: return kHttpStatusNotSuccess;         // INET_E_OBJECT_NOT_FOUND
    case 0x800C0007UL:                                       // INET_E_DATA_NOT_AVAILABLE
    case 0x800C0008UL: return kInternetConnectionAborted;    // INET_E_DOWNLOAD_FAILURE
    case 0x800C000BUL: return kInternetTimeout;              // INET_E_CONNECTION_TIMEOUT
    case 0x800C000DUL: return kInternetUnrecognizedScheme;   // INET_E_UNKNOWN_PROTOCOL
    default: break;
  }
  if (HRESULT_FACILITY(hr) == FACILITY_WIN32) return static_cast<long>(HRESULT_CODE(hr));
  return 12004;  // ERROR_INTERNET_INTERNAL_ERROR
}

bool IsHttp(const std::string& url) {
  return _strnicmp(url.c_str(), "http://", 7) == 0 || _strnicmp(url.c_str(), "https://", 8) == 0;
}

}  // namespace

long URLDownloadToFile(const std::string& url, const std::string& path, int* status) {
  *status = 0;
  ::DeleteFileA(path.c_str());
  DownloadCallback callback;
  const HRESULT hr = ::URLDownloadToFileA(nullptr, url.c_str(), path.c_str(), 0, &callback);
  if (IsHttp(url)) *status = static_cast<int>(callback.status);
  if (FAILED(hr)) {
    const long code = DownloadError(hr);
    ::SetLastError(static_cast<DWORD>(code));
    return code;
  }
  if (*status != 0 && (*status < 200 || *status > 299)) {
    ::SetLastError(kHttpStatusNotSuccess);
    return kHttpStatusNotSuccess;
  }
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (callback.announced > 0 && ::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) &&
      data.nFileSizeHigh == 0 && data.nFileSizeLow < callback.announced) {
    ::SetLastError(kInternetConnectionAborted);
    return kInternetConnectionAborted;
  }
  return 0;
}

long InternetOpen(InternetHandle* session) {
  HINTERNET h = ::InternetOpenA(nullptr, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  if (h == nullptr) return LastErrorOr(12004);
  *session = InternetHandle(h);
  return 0;
}

long InternetOpenUrl(const InternetHandle& session, const std::string& url, InternetHandle* file) {
  HINTERNET h = ::InternetOpenUrlA(static_cast<HINTERNET>(session.get()), url.c_str(), nullptr, 0,
                                   INTERNET_FLAG_RELOAD, 0);
  if (h == nullptr) return LastErrorOr(12004);
  *file = InternetHandle(h);
  return 0;
}

long InternetReadFile(const InternetHandle& file, uint32_t bytesToRead, std::string* data) {
  std::string buffer(bytesToRead, '\0');
  DWORD read = 0;
  if (!::InternetReadFile(static_cast<HINTERNET>(file.get()), buffer.data(), bytesToRead, &read)) {
    return LastErrorOr(12004);
  }
  buffer.resize(read);
  *data = std::move(buffer);
  return 0;
}

long InternetConnectFtp(const InternetHandle& session, const std::string& host, uint16_t port,
                        InternetHandle* connection) {
  // No user name or password: anonymous.
  HINTERNET h = ::InternetConnectA(static_cast<HINTERNET>(session.get()), host.c_str(), port, nullptr, nullptr,
                                   INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 0);
  if (h == nullptr) return LastErrorOr(12004);
  *connection = InternetHandle(h);
  return 0;
}

long FtpSetCurrentDirectory(const InternetHandle& connection, const std::string& directory) {
  if (!::FtpSetCurrentDirectoryA(static_cast<HINTERNET>(connection.get()), directory.c_str())) {
    return LastErrorOr(kInternetExtendedError);
  }
  return 0;
}

long FtpFindFirstFile(const InternetHandle& connection, const std::string& pattern, std::string* name) {
  WIN32_FIND_DATAA data{};
  HINTERNET find = ::FtpFindFirstFileA(static_cast<HINTERNET>(connection.get()), pattern.c_str(), &data,
                                       INTERNET_FLAG_RELOAD, 0);
  if (find == nullptr) {
    // Wine reports no match with last error 0; Windows says 18.
    const long code = LastErrorOr(kErrorNoMoreFiles);
    ::SetLastError(static_cast<DWORD>(code));
    return code;
  }
  ::InternetCloseHandle(find);
  data.cFileName[MAX_PATH - 1] = '\0';
  *name = data.cFileName;
  return 0;
}

long FtpGetFile(const InternetHandle& connection, const std::string& remote, const std::string& local) {
  if (!::FtpGetFileA(static_cast<HINTERNET>(connection.get()), remote.c_str(), local.c_str(), FALSE, 0,
                     FTP_TRANSFER_TYPE_UNKNOWN | INTERNET_FLAG_RELOAD, 0)) {
    return LastErrorOr(kInternetExtendedError);
  }
  return 0;
}

void CloseInternetHandle(void* raw) { ::InternetCloseHandle(static_cast<HINTERNET>(raw)); }

}  // namespace os
