// The libgphoto2 binding and its camera store.
#include "acquire/gphoto2_store.h"

#include <dlfcn.h>
#include <gphoto2/gphoto2.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>

#include "acquire/wpd_api.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace {

// ---------------------------------------------------------------------------
// The binding: every function looked up by name in the opened library (and
// the port library it brings in).

#define VX_GP_FUNCTIONS(X)                                                                                         \
  X(gp_context_new) X(gp_camera_new) X(gp_camera_set_abilities) X(gp_camera_set_port_info) X(gp_camera_init)    \
  X(gp_camera_exit) X(gp_camera_unref) X(gp_camera_autodetect) X(gp_camera_get_storageinfo)                      \
  X(gp_camera_folder_list_files) X(gp_camera_folder_list_folders) X(gp_camera_folder_put_file)                   \
  X(gp_camera_folder_make_dir) X(gp_camera_folder_remove_dir) X(gp_camera_file_get_info) X(gp_camera_file_get)   \
  X(gp_camera_file_delete) X(gp_camera_capture) X(gp_abilities_list_new) X(gp_abilities_list_load)               \
  X(gp_abilities_list_lookup_model) X(gp_abilities_list_get_abilities) X(gp_port_info_list_new)                  \
  X(gp_port_info_list_load) X(gp_port_info_list_lookup_path) X(gp_port_info_list_get_info) X(gp_list_new)        \
  X(gp_list_unref) X(gp_list_count) X(gp_list_get_name) X(gp_list_get_value) X(gp_file_new) X(gp_file_unref)     \
  X(gp_file_get_data_and_size) X(gp_file_append) X(gp_context_unref) X(gp_abilities_list_free)     \
  X(gp_port_info_list_free)

// libgphoto2's port drivers lose a few bytes as they load, and the USB one
// a few per known camera model in each search, in modules unloaded
// afterwards: not ours to free, and not to be reported as ours by the leak
// checker of the sanitizer builds.
struct TOutsideLeaks {
#if defined(__SANITIZE_ADDRESS__)
  __lsan::ScopedDisabler Disabler;
#endif
};

struct TGP {
#define VX_GP_MEMBER(f) decltype(&::f) f = nullptr;
  VX_GP_FUNCTIONS(VX_GP_MEMBER)
#undef VX_GP_MEMBER
  GPContext* Context = nullptr;
  // Loaded on first need: every camera library's abilities, the ports.
  CameraAbilitiesList* Abilities = nullptr;
  GPPortInfoList* Ports = nullptr;

  TGP() = default;
  TGP(const TGP&) = delete;
  TGP& operator=(const TGP&) = delete;
  // A binding let go (a new library name) frees what it loaded; the library
  // itself stays open.
  ~TGP() {
    if (Abilities) gp_abilities_list_free(Abilities);
    if (Ports) gp_port_info_list_free(Ports);
    if (Context) gp_context_unref(Context);
  }

  bool LoadLists() {
    if (!Abilities) {
      CameraAbilitiesList* a = nullptr;
      if (gp_abilities_list_new(&a) < GP_OK) return false;
      gp_abilities_list_load(a, Context);
      Abilities = a;
    }
    if (!Ports) {
      GPPortInfoList* p = nullptr;
      if (gp_port_info_list_new(&p) < GP_OK) return false;
      [[maybe_unused]] TOutsideLeaks outside;
      gp_port_info_list_load(p);
      Ports = p;
    }
    return true;
  }
};

// Everything below runs under this lock: libgphoto2's cameras are not for
// two threads at once.
std::recursive_mutex& Lock() {
  static std::recursive_mutex m;
  return m;
}

std::string gSoname = "libgphoto2.so.6";
bool gTried = false;
// The library is never closed: its camera drivers stay loaded, and cameras
// of an earlier binding may still be in use. The binding lives as long as
// the process (never destroyed at exit: cameras may still be closed by other
// objects' destructors then).
std::shared_ptr<TGP>& gBinding = *new std::shared_ptr<TGP>;

std::shared_ptr<TGP> Binding() {
  if (gTried) return gBinding;
  gTried = true;
  void* handle = dlopen(gSoname.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) return nullptr;
  auto gp = std::make_shared<TGP>();
  bool complete = true;
#define VX_GP_LOOKUP(f)                                                       \
  gp->f = reinterpret_cast<decltype(&::f)>(dlsym(handle, #f));                \
  complete = complete && gp->f;
  VX_GP_FUNCTIONS(VX_GP_LOOKUP)
#undef VX_GP_LOOKUP
  if (!complete || !(gp->Context = gp->gp_context_new())) return nullptr;
  gBinding = gp;
  return gBinding;
}

HRESULT HResultOf(int r) {
  switch (r) {
    case GP_OK:
      return S_OK;
    case GP_ERROR_NOT_SUPPORTED:
      return HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);
    case GP_ERROR_FILE_NOT_FOUND:
    case GP_ERROR_DIRECTORY_NOT_FOUND:
    case GP_ERROR_MODEL_NOT_FOUND:
    case GP_ERROR_UNKNOWN_PORT:
      return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
    case GP_ERROR_FILE_EXISTS:
    case GP_ERROR_DIRECTORY_EXISTS:
      return HRESULT_FROM_WIN32(ERROR_FILE_EXISTS);
    case GP_ERROR_NO_SPACE:
      return HRESULT_FROM_WIN32(ERROR_DISK_FULL);
    case GP_ERROR_BAD_PARAMETERS:
    case GP_ERROR_PATH_NOT_ABSOLUTE:
      return E_INVALIDARG;
    case GP_ERROR_NO_MEMORY:
      return E_OUTOFMEMORY;
    case GP_ERROR_IO_READ:
      return STG_E_READFAULT;
    case GP_ERROR_IO_WRITE:
      return STG_E_WRITEFAULT;
    default:
      return r < GP_OK ? E_FAIL : S_OK;
  }
}

HRESULT NotFound() { return HRESULT_FROM_WIN32(ERROR_NOT_FOUND); }

std::string Join(const std::string& Folder, const std::string& Name) {
  return Folder == "/" ? "/" + Name : Folder + "/" + Name;
}

// The folder and name of a path below the top; false for "/" and for paths
// that are not absolute.
bool Split(const std::string& ID, std::string& Folder, std::string& Name) {
  if (ID.size() < 2 || ID[0] != '/' || ID.back() == '/') return false;
  const size_t slash = ID.rfind('/');
  Folder = slash == 0 ? "/" : ID.substr(0, slash);
  Name = ID.substr(slash + 1);
  return true;
}

bool ValidName(const std::string& Name) {
  return !Name.empty() && Name != "." && Name != ".." && Name.find('/') == std::string::npos &&
         Name.find('\0') == std::string::npos;
}

std::vector<std::string> Names(TGP& G, CameraList* L) {
  std::vector<std::string> out;
  const int n = G.gp_list_count(L);
  for (int i = 0; i < n; ++i) {
    const char* name = nullptr;
    if (G.gp_list_get_name(L, i, &name) >= GP_OK && name) out.emplace_back(name);
  }
  return out;
}

double OleDateOf(time_t t) {
  struct tm local {};
  if (!localtime_r(&t, &local)) return 0;
  return (double(t) + double(local.tm_gmtoff)) / 86400.0 + 25569.0;
}

// ---------------------------------------------------------------------------
// The store of one camera.

class TGPStore;

// A new file's data, kept in memory and put on the camera on Commit.
class TNewFileStream : public TVXStreamBase<IStream> {
 public:
  TNewFileStream(std::shared_ptr<TGPStore> Store, std::string Folder, std::string Name)
      : fStore(std::move(Store)), fFolder(std::move(Folder)), fName(std::move(Name)), fData(SHCreateMemStream(nullptr, 0)) {}
  HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) override { return fData->Read(pv, cb, pcbRead); }
  HRESULT Write(const void* pv, ULONG cb, ULONG* pcbWritten) override {
    if (fCommitted) return STG_E_ACCESSDENIED;
    return fData->Write(pv, cb, pcbWritten);
  }
  HRESULT Seek(int64_t m, DWORD o, uint64_t* p) override { return fData->Seek(m, o, p); }
  HRESULT SetSize(uint64_t n) override { return fData->SetSize(n); }
  HRESULT Stat(STATSTG* s, DWORD f) override { return fData->Stat(s, f); }
  HRESULT Commit(DWORD) override;

 private:
  std::shared_ptr<TGPStore> fStore;
  std::string fFolder, fName;
  TVXComPtr<IStream> fData;
  bool fCommitted = false;
};

class TGPStore : public TVXCameraStore, public std::enable_shared_from_this<TGPStore> {
 public:
  TGPStore(std::shared_ptr<TGP> G, std::string Model, std::string Port)
      : fG(std::move(G)), fModel(std::move(Model)), fPort(std::move(Port)) {}
  ~TGPStore() override {
    if (fCamera) {
      fG->gp_camera_exit(fCamera, fG->Context);
      fG->gp_camera_unref(fCamera);
    }
  }

  bool ReadOnly() const override { return false; }

  HRESULT Children(const std::string& ID, std::vector<std::string>& IDs) override {
    std::lock_guard<std::recursive_mutex> guard(Lock());
    IDs.clear();
    HRESULT hr = Init();
    if (FAILED(hr)) return hr;
    if (ID == WPD_DEVICE_OBJECT_ID) {
      // A browse from the top sees the camera as it is now.
      fLists.clear();
      fFiles.clear();
      ReadStorages();
      for (const TStorage& s : fStorages) IDs.push_back(s.Base);
      return S_OK;
    }
    TVXStoreKind kind;
    hr = KindOf(ID, kind);
    if (FAILED(hr)) return hr;
    if (kind == vxskFile) return S_OK;
    fLists.erase(ID);
    const TList* list = nullptr;
    hr = ListOf(ID, list);
    if (FAILED(hr)) return hr;
    for (const std::string& f : list->Folders) IDs.push_back(Join(ID, f));
    for (const std::string& f : list->Files) IDs.push_back(Join(ID, f));
    return S_OK;
  }

  HRESULT Entry(const std::string& ID, TVXStoreEntry& E) override {
    std::lock_guard<std::recursive_mutex> guard(Lock());
    E = TVXStoreEntry{};
    HRESULT hr = Init();
    if (FAILED(hr)) return hr;
    TVXStoreKind kind;
    hr = KindOf(ID, kind);
    if (FAILED(hr)) return hr;
    E.ID = ID;
    E.Kind = kind;
    if (kind == vxskDevice) {
      E.Name = fModel;
      return S_OK;
    }
    if (kind == vxskStorage) {
      E.ParentID = WPD_DEVICE_OBJECT_ID;
      E.Name = StorageOf(ID)->Name;
      return S_OK;
    }
    std::string folder, name;
    Split(ID, folder, name);
    E.ParentID = folder;
    E.Name = name;
    E.Hidden = name[0] == '.';
    if (kind == vxskFile) {
      auto it = fFiles.find(ID);
      if (it == fFiles.end()) {
        CameraFileInfo info{};
        hr = HResultOf(fG->gp_camera_file_get_info(fCamera, folder.c_str(), name.c_str(), &info, fG->Context));
        if (FAILED(hr)) return hr;
        TVXStoreEntry f;
        if (info.file.fields & GP_FILE_INFO_SIZE) f.Size = info.file.size;
        if (info.file.fields & GP_FILE_INFO_MTIME) f.DateModified = f.DateCreated = OleDateOf(info.file.mtime);
        it = fFiles.emplace(ID, f).first;
      }
      E.Size = it->second.Size;
      E.DateCreated = it->second.DateCreated;
      E.DateModified = it->second.DateModified;
    }
    return S_OK;
  }

  HRESULT OpenRead(const std::string& ID, IStream** Stream) override {
    if (!Stream) return E_POINTER;
    *Stream = nullptr;
    std::lock_guard<std::recursive_mutex> guard(Lock());
    HRESULT hr = Init();
    if (FAILED(hr)) return hr;
    TVXStoreKind kind;
    hr = KindOf(ID, kind);
    if (FAILED(hr)) return hr;
    if (kind != vxskFile) return E_INVALIDARG;
    std::string folder, name;
    Split(ID, folder, name);
    CameraFile* file = nullptr;
    if (fG->gp_file_new(&file) < GP_OK) return E_OUTOFMEMORY;
    hr = HResultOf(fG->gp_camera_file_get(fCamera, folder.c_str(), name.c_str(), GP_FILE_TYPE_NORMAL, file,
                                          fG->Context));
    const char* data = nullptr;
    unsigned long size = 0;
    if (SUCCEEDED(hr)) hr = HResultOf(fG->gp_file_get_data_and_size(file, &data, &size));
    if (SUCCEEDED(hr) && size > UINT_MAX) hr = E_OUTOFMEMORY;
    if (SUCCEEDED(hr)) {
      *Stream = SHCreateMemStream(reinterpret_cast<const BYTE*>(data), UINT(size));
      if (!*Stream) hr = E_OUTOFMEMORY;
    }
    fG->gp_file_unref(file);
    return hr;
  }

  HRESULT CreateFile(const std::string& ParentID, const std::string& Name, IStream** Stream,
                     std::string& NewID) override {
    if (!Stream) return E_POINTER;
    *Stream = nullptr;
    std::lock_guard<std::recursive_mutex> guard(Lock());
    HRESULT hr = CanCreateIn(ParentID, Name);
    if (FAILED(hr)) return hr;
    NewID = Join(ParentID, Name);
    *Stream = new TNewFileStream(shared_from_this(), ParentID, Name);
    return S_OK;
  }

  HRESULT CreateFolder(const std::string& ParentID, const std::string& Name, std::string& NewID) override {
    std::lock_guard<std::recursive_mutex> guard(Lock());
    HRESULT hr = CanCreateIn(ParentID, Name);
    if (FAILED(hr)) return hr;
    fLists.erase(ParentID);
    hr = HResultOf(fG->gp_camera_folder_make_dir(fCamera, ParentID.c_str(), Name.c_str(), fG->Context));
    if (SUCCEEDED(hr)) NewID = Join(ParentID, Name);
    return hr;
  }

  HRESULT Delete(const std::string& ID, bool Recursive) override {
    std::lock_guard<std::recursive_mutex> guard(Lock());
    HRESULT hr = Init();
    if (FAILED(hr)) return hr;
    TVXStoreKind kind;
    hr = KindOf(ID, kind);
    if (FAILED(hr)) return hr;
    if (kind == vxskDevice || kind == vxskStorage) return E_ACCESSDENIED;
    return DeleteObject(ID, kind, Recursive);
  }

  // The data of a new file, put on the camera.
  HRESULT Put(const std::string& Folder, const std::string& Name, IStream* Data) {
    std::lock_guard<std::recursive_mutex> guard(Lock());
    HRESULT hr = CanCreateIn(Folder, Name);
    if (FAILED(hr)) return hr;
    CameraFile* file = nullptr;
    if (fG->gp_file_new(&file) < GP_OK) return E_OUTOFMEMORY;
    Data->Seek(0, STREAM_SEEK_SET, nullptr);
    uint8_t buffer[65536];
    while (SUCCEEDED(hr)) {
      ULONG got = 0;
      hr = Data->Read(buffer, sizeof buffer, &got);
      if (FAILED(hr) || got == 0) break;
      hr = HResultOf(fG->gp_file_append(file, reinterpret_cast<const char*>(buffer), got));
    }
    if (SUCCEEDED(hr)) {
      fLists.erase(Folder);
      hr = HResultOf(fG->gp_camera_folder_put_file(fCamera, Folder.c_str(), Name.c_str(), GP_FILE_TYPE_NORMAL,
                                                   file, fG->Context));
    }
    fG->gp_file_unref(file);
    return hr;
  }

  HRESULT Capture(std::string& ObjectID) {
    std::lock_guard<std::recursive_mutex> guard(Lock());
    HRESULT hr = Init();
    if (FAILED(hr)) return hr;
    CameraFilePath path{};
    hr = HResultOf(fG->gp_camera_capture(fCamera, GP_CAPTURE_IMAGE, &path, fG->Context));
    if (FAILED(hr)) return hr;
    fLists.clear();
    ObjectID = Join(path.folder[0] ? path.folder : "/", path.name);
    return S_OK;
  }

 private:
  struct TStorage {
    std::string Base, Name;
  };
  struct TList {
    std::vector<std::string> Folders, Files;
  };

  // The camera, set up and opened on first use.
  HRESULT Init() {
    if (fCamera) return S_OK;
    if (!fG->LoadLists()) return E_FAIL;
    const int model = fG->gp_abilities_list_lookup_model(fG->Abilities, fModel.c_str());
    const int port = fG->gp_port_info_list_lookup_path(fG->Ports, fPort.c_str());
    if (model < 0 || port < 0) return NotFound();
    CameraAbilities abilities;
    GPPortInfo info = nullptr;
    if (fG->gp_abilities_list_get_abilities(fG->Abilities, model, &abilities) < GP_OK ||
        fG->gp_port_info_list_get_info(fG->Ports, port, &info) < GP_OK)
      return E_FAIL;
    Camera* camera = nullptr;
    if (fG->gp_camera_new(&camera) < GP_OK) return E_OUTOFMEMORY;
    int r = fG->gp_camera_set_abilities(camera, abilities);
    if (r >= GP_OK) r = fG->gp_camera_set_port_info(camera, info);
    if (r >= GP_OK) r = fG->gp_camera_init(camera, fG->Context);
    if (r < GP_OK) {
      fG->gp_camera_unref(camera);
      return HResultOf(r);
    }
    fCamera = camera;
    ReadStorages();
    return S_OK;
  }

  void ReadStorages() {
    fStorages.clear();
    CameraStorageInformation* info = nullptr;
    int n = 0;
    if (fG->gp_camera_get_storageinfo(fCamera, &info, &n, fG->Context) >= GP_OK && info) {
      for (int i = 0; i < n; ++i) {
        const CameraStorageInformation& s = info[i];
        TStorage t;
        t.Base = (s.fields & GP_STORAGEINFO_BASE) && s.basedir[0] ? s.basedir : "/";
        if ((s.fields & GP_STORAGEINFO_DESCRIPTION) && s.description[0]) t.Name = s.description;
        else if ((s.fields & GP_STORAGEINFO_LABEL) && s.label[0]) t.Name = s.label;
        else t.Name = t.Base;
        if (t.Base.size() > 1 && t.Base.back() == '/') t.Base.pop_back();
        fStorages.push_back(t);
      }
      std::free(info);
    }
    // A camera that tells nothing of its storages has one, the top.
    if (fStorages.empty()) fStorages.push_back({"/", fModel});
  }

  const TStorage* StorageOf(const std::string& ID) const {
    for (const TStorage& s : fStorages)
      if (s.Base == ID) return &s;
    return nullptr;
  }

  HRESULT ListOf(const std::string& Folder, const TList*& List) {
    auto it = fLists.find(Folder);
    if (it == fLists.end()) {
      TList l;
      for (bool folders : {true, false}) {
        CameraList* names = nullptr;
        if (fG->gp_list_new(&names) < GP_OK) return E_OUTOFMEMORY;
        const int r = folders ? fG->gp_camera_folder_list_folders(fCamera, Folder.c_str(), names, fG->Context)
                              : fG->gp_camera_folder_list_files(fCamera, Folder.c_str(), names, fG->Context);
        if (r >= GP_OK) (folders ? l.Folders : l.Files) = Names(*fG, names);
        fG->gp_list_unref(names);
        if (r < GP_OK) return HResultOf(r);
      }
      for (const std::string& f : l.Files) fFiles.erase(Join(Folder, f));
      it = fLists.emplace(Folder, std::move(l)).first;
    }
    List = &it->second;
    return S_OK;
  }

  HRESULT KindOf(const std::string& ID, TVXStoreKind& Kind) {
    if (ID == WPD_DEVICE_OBJECT_ID) {
      Kind = vxskDevice;
      return S_OK;
    }
    if (StorageOf(ID)) {
      Kind = vxskStorage;
      return S_OK;
    }
    std::string folder, name;
    if (!Split(ID, folder, name) || !ValidName(name)) return NotFound();
    // The parent must be an object of the device itself.
    if (!StorageOf(folder)) {
      TVXStoreKind parent;
      if (FAILED(KindOf(folder, parent)) || parent != vxskFolder) return NotFound();
    }
    const TList* list = nullptr;
    if (FAILED(ListOf(folder, list))) return NotFound();
    if (std::find(list->Folders.begin(), list->Folders.end(), name) != list->Folders.end()) {
      Kind = vxskFolder;
      return S_OK;
    }
    if (std::find(list->Files.begin(), list->Files.end(), name) != list->Files.end()) {
      Kind = vxskFile;
      return S_OK;
    }
    return NotFound();
  }

  HRESULT CanCreateIn(const std::string& ParentID, const std::string& Name) {
    HRESULT hr = Init();
    if (FAILED(hr)) return hr;
    TVXStoreKind kind;
    hr = KindOf(ParentID, kind);
    if (FAILED(hr)) return hr;
    if (kind == vxskDevice || kind == vxskFile || !ValidName(Name)) return E_INVALIDARG;
    TVXStoreKind existing;
    if (SUCCEEDED(KindOf(Join(ParentID, Name), existing))) return HRESULT_FROM_WIN32(ERROR_FILE_EXISTS);
    return S_OK;
  }

  HRESULT DeleteObject(const std::string& ID, TVXStoreKind Kind, bool Recursive) {
    std::string folder, name;
    Split(ID, folder, name);
    HRESULT hr;
    if (Kind == vxskFile) {
      hr = HResultOf(fG->gp_camera_file_delete(fCamera, folder.c_str(), name.c_str(), fG->Context));
    } else {
      const TList* list = nullptr;
      hr = ListOf(ID, list);
      if (FAILED(hr)) return hr;
      const TList below = *list;
      if (!Recursive && (!below.Folders.empty() || !below.Files.empty()))
        return HRESULT_FROM_WIN32(ERROR_DIR_NOT_EMPTY);
      for (const std::string& f : below.Files)
        if (FAILED(hr = DeleteObject(Join(ID, f), vxskFile, true))) return hr;
      for (const std::string& f : below.Folders)
        if (FAILED(hr = DeleteObject(Join(ID, f), vxskFolder, true))) return hr;
      fLists.erase(ID);
      hr = HResultOf(fG->gp_camera_folder_remove_dir(fCamera, folder.c_str(), name.c_str(), fG->Context));
    }
    fLists.erase(folder);
    fFiles.erase(ID);
    return hr;
  }

  std::shared_ptr<TGP> fG;
  std::string fModel, fPort;
  Camera* fCamera = nullptr;
  std::vector<TStorage> fStorages;
  std::map<std::string, TList> fLists;          // by folder
  std::map<std::string, TVXStoreEntry> fFiles;  // sizes and dates by file ID
};

HRESULT TNewFileStream::Commit(DWORD) {
  if (fCommitted) return S_OK;
  const HRESULT hr = fStore->Put(fFolder, fName, fData.Get());
  if (SUCCEEDED(hr)) fCommitted = true;
  return hr;
}

// ---------------------------------------------------------------------------
// The cameras.

struct TCamera {
  std::string ID, Model, Port;
  bool Added = false;
  std::shared_ptr<TGPStore> Store;
};

std::vector<TCamera> gCameras;
bool gDetected = false;

std::string CameraID(const std::string& Model, const std::string& Port) { return "gphoto2:" + Model + "@" + Port; }

TCamera* FindCamera(const std::string& ID) {
  for (TCamera& c : gCameras)
    if (c.ID == ID) return &c;
  return nullptr;
}

void AddCamera(const std::shared_ptr<TGP>& G, const std::string& Model, const std::string& Port, bool Added) {
  TCamera c;
  c.ID = CameraID(Model, Port);
  if (FindCamera(c.ID)) return;
  c.Model = Model;
  c.Port = Port;
  c.Added = Added;
  c.Store = std::make_shared<TGPStore>(G, Model, Port);
  gCameras.push_back(std::move(c));
}

void Detect(const std::shared_ptr<TGP>& G) {
  gDetected = true;
  CameraList* list = nullptr;
  if (G->gp_list_new(&list) < GP_OK) return;
  int found;
  {
    [[maybe_unused]] TOutsideLeaks outside;
    found = G->gp_camera_autodetect(list, G->Context);
  }
  if (found >= GP_OK) {
    const int n = G->gp_list_count(list);
    for (int i = 0; i < n; ++i) {
      const char* model = nullptr;
      const char* port = nullptr;
      if (G->gp_list_get_name(list, i, &model) >= GP_OK && G->gp_list_get_value(list, i, &port) >= GP_OK && model &&
          port)
        AddCamera(G, model, port, false);
    }
  }
  G->gp_list_unref(list);
}

}  // namespace

void VXGPhoto2SetSoname(const std::string& Name) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  gSoname = Name;
  gTried = false;
  gBinding.reset();
  gCameras.clear();
  gDetected = false;
}

bool VXGPhoto2Available() {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  return Binding() != nullptr;
}

std::string VXGPhoto2AddCamera(const std::string& Model, const std::string& Port) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  const std::shared_ptr<TGP> g = Binding();
  if (!g || !g->LoadLists()) return {};
  if (g->gp_abilities_list_lookup_model(g->Abilities, Model.c_str()) < GP_OK ||
      g->gp_port_info_list_lookup_path(g->Ports, Port.c_str()) < GP_OK)
    return {};
  AddCamera(g, Model, Port, true);
  return CameraID(Model, Port);
}

void VXGPhoto2RemoveCameras() {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  gCameras.erase(std::remove_if(gCameras.begin(), gCameras.end(), [](const TCamera& c) { return c.Added; }),
                 gCameras.end());
}

void VXAddGPhotoCameraDevices(std::vector<TVXStoreDevice>& Devices) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  const std::shared_ptr<TGP> g = Binding();
  if (!g) return;
  if (!gDetected) Detect(g);
  for (const TCamera& c : gCameras) {
    TVXStoreDevice d;
    d.ID = c.ID;
    d.FriendlyName = c.Model;
    d.Description = "Camera (" + c.Port + ")";
    d.Store = c.Store;
    Devices.push_back(std::move(d));
  }
}

HRESULT VXGPhoto2Capture(const std::string& DeviceID, std::string& ObjectID) {
  ObjectID.clear();
  std::lock_guard<std::recursive_mutex> guard(Lock());
  TCamera* c = FindCamera(DeviceID);
  if (!c) return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
  const std::shared_ptr<TGPStore> store = c->Store;
  return store->Capture(ObjectID);
}
