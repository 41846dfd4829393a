// Loading by URL over libcurl: the address is split as the component always
// did (scheme, optional "user:password@", host, optional port, path) and the
// request is made with an explicit port.
#include "io/urlload.h"

#include <curl/curl.h>
#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <exception>
#include <filesystem>
#include <mutex>
#include <type_traits>

#include "core/settings.h"
#include "core/streams.h"
#include "io/vexlaneio.h"

namespace {

// libcurl is opened on the first download, not at start-up: a program that
// never loads from a URL does not map it and the thirty libraries it needs.
// The start-up only says that downloads may be made (VXLoadWinINet); the
// shut-down ends them (VXFreeWinINet).
struct TCurlLibrary {
  void* Handle = nullptr;
  bool Initialised = false;  // curl_global_init done and not yet cleaned up
  CURLcode (*GlobalInit)(long) = nullptr;
  void (*GlobalCleanup)() = nullptr;
  CURL* (*EasyInit)() = nullptr;
  CURLcode (*EasySetOpt)(CURL*, CURLoption, ...) = nullptr;
  CURLcode (*EasyGetInfo)(CURL*, CURLINFO, ...) = nullptr;
  CURLcode (*EasyPerform)(CURL*) = nullptr;
  void (*EasyCleanup)(CURL*) = nullptr;

  bool Open() {
    if (Handle != nullptr) return true;
    void* h = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
    if (h == nullptr) return false;
    bool ok = true;
    auto bind = [&](auto& Fn, const char* Name) {
      Fn = reinterpret_cast<std::remove_reference_t<decltype(Fn)>>(dlsym(h, Name));
      ok = ok && Fn != nullptr;
    };
    bind(GlobalInit, "curl_global_init");
    bind(GlobalCleanup, "curl_global_cleanup");
    bind(EasyInit, "curl_easy_init");
    bind(EasySetOpt, "curl_easy_setopt");
    bind(EasyGetInfo, "curl_easy_getinfo");
    bind(EasyPerform, "curl_easy_perform");
    bind(EasyCleanup, "curl_easy_cleanup");
    if (!ok) {
      dlclose(h);
      return false;
    }
    Handle = h;
    return true;
  }
};

std::mutex gInternetLock;
std::atomic<bool> gInternetReady{false};  // downloads allowed
TCurlLibrary gCurl;                       // guarded by gInternetLock until initialised

// libcurl, opened and initialised; nullptr while downloads are not allowed
// or when it cannot be had.
const TCurlLibrary* InternetLibrary() {
  std::lock_guard<std::mutex> lock(gInternetLock);
  if (!gInternetReady.load()) return nullptr;
  if (!gCurl.Initialised) {
    if (!gCurl.Open() || gCurl.GlobalInit(CURL_GLOBAL_DEFAULT) != CURLE_OK) return nullptr;
    gCurl.Initialised = true;
  }
  return &gCurl;
}

bool StartsWithNoCase(const std::string& s, const char* prefix) {
  size_t i = 0;
  for (; prefix[i]; ++i)
    if (i >= s.size() || std::tolower(static_cast<unsigned char>(s[i])) != prefix[i]) return false;
  return true;
}

bool ValidHost(const std::string& Host) {
  if (Host.empty()) return false;
  return std::all_of(Host.begin(), Host.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_';
  });
}

bool ReadAborting(const bool* Aborting) {
  return Aborting != nullptr && std::atomic_ref<bool>(*const_cast<bool*>(Aborting)).load();
}

// Bytes that may not stand in a request line as they are.
std::string EncodePath(const std::string& Path) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : Path) {
    if (c <= 0x20 || c >= 0x7F || c == '#') {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    } else {
      out += char(c);
    }
  }
  return out;
}

struct TTransfer {
  CURL* Curl = nullptr;
  TStream* Stream = nullptr;
  const TVXProgressEvent* OnProgress = nullptr;
  void* Sender = nullptr;
  bool* Aborting = nullptr;
  bool FTP = false;
  bool LengthKnown = false;
  int64_t Expected = 0;  // announced length, 0 when unknown
  int64_t Received = 0;  // bytes of this transfer
  std::exception_ptr Error;  // raised by the stream or the progress event
};

size_t WriteBodyPieces(TTransfer& t, char* Data, size_t Size, size_t Count) {
  const size_t total = Size * Count;
  if (!t.LengthKnown) {
    t.LengthKnown = true;
    curl_off_t length = -1;
    if (!t.FTP && gCurl.EasyGetInfo(t.Curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK && length > 0)
      t.Expected = length;
  }
  if (t.Expected > 0) {
    if (ReadAborting(t.Aborting)) return 0;
    t.Stream->WriteBuffer(Data, int64_t(total));
    t.Received += int64_t(total);
    if (t.OnProgress && *t.OnProgress)
      (*t.OnProgress)(t.Sender, int32_t(double(t.Received) * (100.0 / double(t.Expected))));
    return total;
  }
  for (size_t done = 0; done < total;) {
    if (ReadAborting(t.Aborting)) return 0;
    const size_t piece = std::min<size_t>(1024, total - done);
    t.Stream->WriteBuffer(Data + done, int64_t(piece));
    t.Received += int64_t(piece);
    done += piece;
  }
  return total;
}

size_t WriteBody(char* Data, size_t Size, size_t Count, void* User) {
  TTransfer& t = *static_cast<TTransfer*>(User);
  try {
    return WriteBodyPieces(t, Data, Size, Count);
  } catch (...) {
    t.Error = std::current_exception();
    return 0;
  }
}

int TransferInfo(void* User, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return ReadAborting(static_cast<TTransfer*>(User)->Aborting) ? 1 : 0;
}

std::string FileExtension(const std::string& Path) {
  const size_t slash = Path.find_last_of('/');
  const std::string name = slash == std::string::npos ? Path : Path.substr(slash + 1);
  const size_t dot = name.find_last_of('.');
  return dot == std::string::npos ? std::string() : name.substr(dot + 1, 10);
}

}  // namespace

bool VXSplitURL(const std::string& URL, TVXURLParts& Parts) {
  Parts = TVXURLParts{};
  std::string rest;
  if (StartsWithNoCase(URL, "http://")) {
    Parts.Service = vxusHTTP;
    Parts.Port = 80;
    rest = URL.substr(7);
  } else if (StartsWithNoCase(URL, "https://")) {
    Parts.Service = vxusHTTPS;
    Parts.Port = 443;
    rest = URL.substr(8);
  } else if (StartsWithNoCase(URL, "ftp://")) {
    Parts.Service = vxusFTP;
    Parts.Port = 21;
    rest = URL.substr(6);
  } else {
    return false;
  }
  const size_t slash = rest.find('/');
  if (slash == std::string::npos) return false;
  std::string server = rest.substr(0, slash);
  Parts.ObjectPath = rest.substr(slash);
  const size_t at = server.find('@');
  if (at != std::string::npos) {
    const size_t colon = server.find(':');
    if (colon == std::string::npos || colon > at) return false;
    Parts.UserName = server.substr(0, colon);
    Parts.Password = server.substr(colon + 1, at - colon - 1);
    server = server.substr(at + 1);
  }
  const size_t colon = server.find(':');
  if (colon != std::string::npos) {
    const std::string port = server.substr(colon + 1);
    server = server.substr(0, colon);
    const bool numeric =
        !port.empty() && std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!numeric) {
      Parts.Port = 80;
    } else {
      // Beyond the port range the connection fails.
      int64_t value = 0;
      for (char c : port) value = std::min<int64_t>(value * 10 + (c - '0'), 1000000);
      Parts.Port = int32_t(value);
    }
  }
  Parts.Host = server;
  return ValidHost(Parts.Host);
}

bool VXDownloadURL(const std::string& URL, TStream* Stream, const std::string& ProxyAddress,
                   const std::string& ProxyUser, const std::string& ProxyPassword, const TVXProgressEvent& OnProgress,
                   void* Sender, bool* Aborting, std::string& ContentKind) {
  TVXURLParts parts;
  if (!VXSplitURL(URL, parts) || Stream == nullptr) return false;
  if (parts.Port < 1 || parts.Port > 65535) return false;
  const TCurlLibrary* lib = InternetLibrary();
  if (lib == nullptr) return false;

  CURL* curl = lib->EasyInit();
  if (curl == nullptr) return false;
  const TVXVexlaneGlobalSettings* st = VXGetGlobalSettings();
  const long timeout = std::max<long>(1, st->URLTimeout());
  static const char* const kSchemes[] = {"http", "https", "ftp"};
  const std::string address = std::string(kSchemes[parts.Service]) + "://" + parts.Host + ":" +
                              std::to_string(parts.Port) + EncodePath(parts.ObjectPath);

  TTransfer t;
  t.Curl = curl;
  t.Stream = Stream;
  t.OnProgress = &OnProgress;
  t.Sender = Sender;
  t.Aborting = Aborting;
  t.FTP = parts.Service == vxusFTP;

  lib->EasySetOpt(curl, CURLOPT_URL, address.c_str());
  lib->EasySetOpt(curl, CURLOPT_PROTOCOLS_STR, "http,https,ftp");
  lib->EasySetOpt(curl, CURLOPT_NOSIGNAL, 1L);
  lib->EasySetOpt(curl, CURLOPT_USERAGENT, "Mozilla/4.*");
  lib->EasySetOpt(curl, CURLOPT_BUFFERSIZE, 65536L);
  lib->EasySetOpt(curl, CURLOPT_WRITEFUNCTION, &WriteBody);
  lib->EasySetOpt(curl, CURLOPT_WRITEDATA, &t);
  lib->EasySetOpt(curl, CURLOPT_NOPROGRESS, 0L);
  lib->EasySetOpt(curl, CURLOPT_XFERINFOFUNCTION, &TransferInfo);
  lib->EasySetOpt(curl, CURLOPT_XFERINFODATA, &t);
  lib->EasySetOpt(curl, CURLOPT_CONNECTTIMEOUT, timeout);
  lib->EasySetOpt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, timeout);
  lib->EasySetOpt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  lib->EasySetOpt(curl, CURLOPT_LOW_SPEED_TIME, timeout);
  if (ProxyAddress.empty()) {
    // Direct access, whatever the environment names as proxy.
    lib->EasySetOpt(curl, CURLOPT_PROXY, "");
    if (!parts.UserName.empty() || !parts.Password.empty()) {
      lib->EasySetOpt(curl, CURLOPT_USERNAME, parts.UserName.c_str());
      lib->EasySetOpt(curl, CURLOPT_PASSWORD, parts.Password.c_str());
    }
  } else {
    lib->EasySetOpt(curl, CURLOPT_PROXY, ProxyAddress.c_str());
    lib->EasySetOpt(curl, CURLOPT_NOPROXY, "");
    if (!ProxyUser.empty() || !ProxyPassword.empty()) {
      lib->EasySetOpt(curl, CURLOPT_PROXYUSERNAME, ProxyUser.c_str());
      lib->EasySetOpt(curl, CURLOPT_PROXYPASSWORD, ProxyPassword.c_str());
    }
  }
  if (parts.Service != vxusFTP) {
    lib->EasySetOpt(curl, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
    lib->EasySetOpt(curl, CURLOPT_HTTPGET, 1L);
    lib->EasySetOpt(curl, CURLOPT_FAILONERROR, 1L);
    lib->EasySetOpt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    lib->EasySetOpt(curl, CURLOPT_MAXREDIRS, 10L);
    lib->EasySetOpt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  } else {
    lib->EasySetOpt(curl, CURLOPT_TRANSFERTEXT, 0L);
  }
  if (st->URLCheckCertificates()) {
    lib->EasySetOpt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    lib->EasySetOpt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!st->URLCAFile().empty()) {
      // The named authorities and the system's (kept as a hashed folder).
      lib->EasySetOpt(curl, CURLOPT_CAINFO, st->URLCAFile().c_str());
      std::error_code ec;
      if (std::filesystem::is_directory("/etc/ssl/certs", ec)) lib->EasySetOpt(curl, CURLOPT_CAPATH, "/etc/ssl/certs");
    }
  } else {
    lib->EasySetOpt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
    lib->EasySetOpt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
    lib->EasySetOpt(curl, CURLOPT_SSL_OPTIONS, long(CURLSSLOPT_NO_REVOKE));
  }

  ContentKind.clear();
  if (parts.Service == vxusFTP) ContentKind = FileExtension(parts.ObjectPath);
  const CURLcode rc = lib->EasyPerform(curl);
  if (t.Error) {
    lib->EasyCleanup(curl);
    std::rethrow_exception(t.Error);
  }
  if (parts.Service != vxusFTP) {
    const char* type = nullptr;
    if (lib->EasyGetInfo(curl, CURLINFO_CONTENT_TYPE, &type) == CURLE_OK && type != nullptr) {
      const std::string text(type);
      const size_t slash = text.find('/');
      if (slash != std::string::npos) ContentKind = text.substr(slash + 1);
    }
  }
  lib->EasyCleanup(curl);
  return rc == CURLE_OK && !ReadAborting(Aborting);
}

void VXLoadWinINet() {
  std::lock_guard<std::mutex> lock(gInternetLock);
  if (gInternetReady.load()) return;
  gInternetReady.store(true);
}

void VXFreeWinINet() {
  std::lock_guard<std::mutex> lock(gInternetLock);
  if (!gInternetReady.load()) return;
  gInternetReady.store(false);
  if (gCurl.Initialised) {
    gCurl.GlobalCleanup();
    gCurl.Initialised = false;
  }
}

bool TVexlaneIO::LoadFromURL(const std::string& URL) {
  if (AsyncStart(vxLoadFromURLRetBool, &TVexlaneIO::LoadFromURL, URL)) return true;
  SetAborting(false);
  TMemoryStream data;
  std::string kind;
  if (VXDownloadURL(URL, &data, fProxyAddress, fProxyUser, fProxyPassword, fOnIntProgress, this, &fAborting, kind)) {
    data.SetPosition(0);
    return LoadFromStream(&data);
  }
  SetAborting(true);
  DoFinishWork();
  return false;
}
