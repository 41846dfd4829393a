// The acquisition library's start-up, linked into every program that uses
// the library: our TWAIN source manager becomes the built-in module
// "TWAIN_32.DLL"; the library start-up registers the portable devices'
// classes and device sources (simulated folders, mounted cards, libgphoto2
// cameras), runs the unit's OLE start-up, and registers the system device
// enumerator of the capture devices, the DirectShow graph layer's classes
// and the video processor transform. Media Foundation's three modules are
// built-in modules too; the library's shut-down frees the binding of them.
#include "acquire/camera_store.h"
#include "acquire/capture_devices.h"
#include "acquire/dshow_filters.h"
#include "acquire/dshow_graph.h"
#include "acquire/gphoto2_store.h"
#include "acquire/mf_platform.h"
#include "acquire/mount_table.h"
#include "acquire/sane_device.h"
#include "acquire/twain_dsm.h"
#include "acquire/vxmmf.h"
#include "acquire/wia_devmgr.h"
#include "acquire/vxxwpd.h"
#include "acquire/wpd_api.h"
#include "acquire/wpd_sim.h"
#include "core/startup.h"
#include "winui/win_module.h"

namespace {

const bool twainRegistered =
    (VXModules::Register("TWAIN_32.DLL", {{"DSM_Entry", reinterpret_cast<FARPROC>(&VXTWDSMEntry)}}),
     VXRegisterMediaFoundationModules(), VXTwainManager::SetDeviceProvider(&VXSaneScanDevices), true);

void PortableDevicesStartup() {
  VXRegisterPortableDeviceClasses();
  VXRegisterWiaDevMgr();
  VXRegisterSystemDeviceEnum();
  VXDSRegisterGraphClasses();
  VXDSRegisterFilterClasses();
  VXRegisterMediaFoundationClasses();
  VXAddStoreDeviceSource(&VXWPDSim::AddDevices);
  VXAddStoreDeviceSource(&VXAddMountedVolumeDevices);
  VXAddStoreDeviceSource(&VXAddGPhotoCameraDevices);
  VXWPDStartup();
}

void PortableDevicesShutdown() {
  VXWPDShutdown();
  VXDSUnregisterFilterClasses();
  VXDSUnregisterGraphClasses();
  VXMFUnbind();
  VXUnregisterMediaFoundationClasses();
  VXUnregisterSystemDeviceEnum();
  VXUnregisterPortableDeviceClasses();
  VXUnregisterWiaDevMgr();
}

const bool registered = (VXLibraryHooks.PortableDevicesStartup = &PortableDevicesStartup,
                         VXLibraryHooks.PortableDevicesShutdown = &PortableDevicesShutdown, true);

}  // namespace
