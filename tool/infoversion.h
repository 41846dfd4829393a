// TInfoVersion: the version resource of an executable as plain texts, with short and
// medium version texts and packed version numbers.
#pragma once
#include <cstdint>
#include <string>

class TInfoVersion {
public:
  // Reads the version resource of ProgramName (the running program when empty).
  void Execute();
  // -1, 0 or 1 comparing the packed file (product) version with the four parts.
  int CompareFileVersion(uint16_t Num1, uint16_t Num2, uint16_t Num3, uint16_t Num4) const;
  int CompareProductVersion(uint16_t Num1, uint16_t Num2, uint16_t Num3, uint16_t Num4) const;

  const std::string& ProgramName() const { return FProgramName; }
  void SetProgramName(const std::string& Value) { FProgramName = Value; }
  const std::string& CompanyName() const { return FCompanyName; }
  const std::string& FileDescription() const { return FFileDescription; }
  const std::string& FileVersion() const { return FFileVersion; }
  const std::string& InternalName() const { return FInternalName; }
  const std::string& LegalCopyright() const { return FLegalCopyright; }
  const std::string& LegalTrademarks() const { return FLegalTrademarks; }
  const std::string& MediumFileVersion() const { return FMediumFileVersion; }
  const std::string& MediumProductVersion() const { return FMediumProductVersion; }
  const std::string& OriginalFilename() const { return FOriginalFilename; }
  const std::string& ProductName() const { return FProductName; }
  const std::string& ProductVersion() const { return FProductVersion; }
  const std::string& ShortFileVersion() const { return FShortFileVersion; }
  const std::string& ShortProductVersion() const { return FShortProductVersion; }
  uint32_t FileVersionNumber() const { return FFileVersionNumber; }
  uint32_t ProductVersionNumber() const { return FProductVersionNumber; }
  const std::string& Comments() const { return FComments; }
  const std::string& Mail() const { return FMail; }
  const std::string& Internet() const { return FInternet; }
  const std::string& Licence() const { return FLicence; }
  const std::string& EndTime() const { return FEndTime; }
  bool Debugversion() const { return FDebugversion; }
  bool Prerelease() const { return FPrerelease; }
  bool PrivateBuild() const { return FPrivateBuild; }
  bool SpecialBuild() const { return FSpecialBuild; }

  // The conversions behind the derived fields: packed number (parts split at '.'
  // and ',', non-numbers count 0), "%d.%.2d" and "%d.%.2d.%.2d" texts (dots only;
  // a text with fewer dots stays as it is; a part that is no integer raises
  // EConvertError).
  static uint32_t PackVersion(const std::string& Text);
  static std::string ShortVersionText(const std::string& Text);
  static std::string MediumVersionText(const std::string& Text);

private:
  std::string FProgramName;
  std::string FCompanyName;
  std::string FFileDescription;
  std::string FFileVersion;
  std::string FInternalName;
  std::string FLegalCopyright;
  std::string FLegalTrademarks;
  std::string FMediumFileVersion;
  std::string FMediumProductVersion;
  std::string FOriginalFilename;
  std::string FProductName;
  std::string FProductVersion;
  std::string FShortFileVersion;
  std::string FShortProductVersion;
  uint32_t FFileVersionNumber = 0;
  uint32_t FProductVersionNumber = 0;
  std::string FComments;
  std::string FMail;
  std::string FInternet;
  std::string FLicence;
  std::string FEndTime;
  bool FDebugversion = false;
  bool FPrerelease = false;
  bool FPrivateBuild = false;
  bool FSpecialBuild = false;
};
