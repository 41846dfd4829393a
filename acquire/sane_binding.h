// The SANE scanner library, bound at run time: libsane.so.1 is opened on
// first use and its functions looked up by name, so that neither the library
// nor a program linking it depends on SANE. When the library or one of its
// functions is missing, or sane_init fails, SANE is unavailable and the
// callers list no SANE scanners.
#pragma once
#include <sane/sane.h>

#include <string>
#include <vector>

struct TVXSaneApi {
  SANE_Status (*init)(SANE_Int*, SANE_Auth_Callback) = nullptr;
  void (*exit)() = nullptr;
  SANE_Status (*get_devices)(const SANE_Device***, SANE_Bool) = nullptr;
  SANE_Status (*open)(SANE_String_Const, SANE_Handle*) = nullptr;
  void (*close)(SANE_Handle) = nullptr;
  const SANE_Option_Descriptor* (*get_option_descriptor)(SANE_Handle, SANE_Int) = nullptr;
  SANE_Status (*control_option)(SANE_Handle, SANE_Int, SANE_Action, void*, SANE_Int*) = nullptr;
  SANE_Status (*get_parameters)(SANE_Handle, SANE_Parameters*) = nullptr;
  SANE_Status (*start)(SANE_Handle) = nullptr;
  SANE_Status (*read)(SANE_Handle, SANE_Byte*, SANE_Int, SANE_Int*) = nullptr;
  void (*cancel)(SANE_Handle) = nullptr;
};

// The bound library after sane_init (which runs here, on the first call);
// nullptr when SANE is unavailable.
const TVXSaneApi* VXSaneApi();

// Points the binding at another soname; only before its first use.
void VXSaneSetSoname(const std::string& Name);

struct TVXSaneDeviceInfo {
  std::string Name, Vendor, Model, Type;
};

// The local scanners (sane_get_devices with local devices only), read once
// per process: the probe can take seconds. Empty when SANE is unavailable.
const std::vector<TVXSaneDeviceInfo>& VXSaneLocalDevices();
