#include "tool/convertimage.h"

#include "platform/signal_cleanup.h"
#include "platform/win_console.h"
#include "platform/win_errors.h"
#include "platform/win_files.h"
#include "platform/win_process.h"
#include "tool/ninepatch_palette.h"
#include "tool/resize_branch.h"
#include "tool/zolib.h"

#include <cmath>
#include <cstdio>

namespace {

// Runs the quantiser on Target, which it rewrites in place. The quantiser names
// its result after the input with the extension ".png" in exactly this spelling,
// so a target spelt otherwise ("icon.PNG") is quantised under a temporary name
// that ends so and then gets its own name back; else the result would land in a
// second file beside the target.
bool RunQuantiser(const std::string& QuantPath, const std::string& Target, uint32_t& ExitCode) {
  const bool plain = Target.size() > 4 && Target.compare(Target.size() - 4, 4, ".png") == 0;
  std::string work = Target;
  if (!plain) {
    const std::string base = ExtractFilePath(Target) + "." + ExtractFileName(Target) + "-";
    for (int i = 0; i < 1000 && work == Target; ++i) {
      const std::string candidate = base + std::to_string(i) + ".png";
      if (GetFileAttributesW(candidate) == INVALID_FILE_ATTRIBUTES) work = candidate;
    }
    if (work == Target || std::rename(Target.c_str(), work.c_str()) != 0)
      throw EInOutError("Cannot rename \"" + Target + "\"");
    AddSignalCleanup(work);
  }
  const bool started = ExecuteAndWait(
      QuantPath, "--quality=45-85 --ext .png --force --skip-if-larger " + QuoteCommandLineArg(work), "", 1, ExitCode);
  if (!plain) {
    RemoveSignalCleanup(work);
    if (std::rename(work.c_str(), Target.c_str()) != 0) throw EInOutError("Cannot rename \"" + work + "\"");
  }
  return started;
}

}  // namespace

TDensityTarget DensityTarget(uint8_t Mode, int32_t Dip) {
  // Halves go to the even neighbour (the default rounding mode).
  switch (Mode) {
    case 1: return {"drawable-ldpi", static_cast<int32_t>(std::nearbyint(Dip * 0.75))};
    case 2: return {"drawable-mdpi", Dip};
    case 3: return {"drawable-hdpi", static_cast<int32_t>(std::nearbyint(Dip * 1.5))};
    case 4: return {"drawable-xhdpi", 2 * Dip};
    case 5: return {"drawable-xxhdpi", 3 * Dip};
    case 6: return {"drawable-xxxhdpi", 4 * Dip};
    default: return {"", 0};
  }
}

bool ConvertImage(const std::string& Source, const std::string& OutDir, uint8_t Mode, int32_t Dip, bool Copy,
                  bool EightBit, bool NewerOnly, bool LongSide, const std::string& QuantPath) {
  // 1. bucket
  if ((Mode == 0 || Mode > 6) && !Copy) {
    ConsoleWriteLn("Wrong mode.");
    return false;
  }
  const TDensityTarget bucket = (Mode == 0 || Mode > 6) ? TDensityTarget{} : DensityTarget(Mode, Dip);

  // 2. target folder
  const std::string targetDir = JoinPath(OutDir, bucket.Folder);
  if (!ForceDirectories(targetDir)) {
    ConsoleWriteLn("Cannot create target directory.");
    return false;
  }

  // 3. target file: sub-folders of the source are not kept
  const std::string fileName = ExtractFileName(Source);
  const std::string target = JoinPath(targetDir, fileName);

  // 4. an existing target
  if (FileExists(target)) {
    if (NewerOnly) {
      const double targetTime = GetFileDateTime(target, 3);
      const double sourceTime = GetFileDateTime(Source, 3);
      if (!(sourceTime > targetTime)) return true;
    }
    // Replacing the target must never delete the source itself.
    if (SameFile(target, Source)) {
      ConsoleWriteLn("Target is the source file, skipped.");
      return true;
    }
    if (!SetFileAttributesW(target, 0)) {
      ConsoleWriteLn("Cannot change file attributes.");
      return false;
    }
    if (!DeleteFileW(target)) {
      ConsoleWriteLn("Cannot delete old target file.");
      return false;
    }
  }

  // 5. progress text
  std::string progress = Copy ? "Copy \"" + fileName + "\""
                              : "Resize \"" + fileName + "\" to " + std::to_string(bucket.Size) +
                                    (LongSide ? " (long side)" : " (short side)");
  if (EightBit) progress += " as 8bit";
  ConsoleWrite(progress);

  // 6. everything from here on reports an exception as a processing error
  try {
    if (Copy) {
      // 7. copy
      if (!CopyFileW(Source, target, false)) {
        ConsoleWriteLn();
        ConsoleWriteLn("Cannot copy image file.");
        return false;
      }
    } else {
      // 8-9. load, resample, save
      if (!ResizeImageFile(Source, target, bucket.Size, LongSide)) return false;
    }

    // 10. palette reduction by the quantiser; the target path is one argument. A
    // nine-patch border must come out of it exactly as it went in.
    if (EightBit) {
      const bool ninePatch = EndsWithText(Source, ".9.png", true);
      TNinePatchBorder border;
      if (ninePatch && !ReadNinePatchBorder(target, border)) throw EInOutError("Cannot read \"" + target + "\"");
      uint32_t exitCode = 0;
      if (RunQuantiser(QuantPath, target, exitCode) && exitCode == 0) {
        if (ninePatch && !RestoreNinePatchBorder(target, border)) {
          ConsoleWriteLn();
          ConsoleWriteLn("Cannot convert image to 8 bit.");
          return false;
        }
      } else if (exitCode == 98) {
        ConsoleWriteLn();
        ConsoleWriteLn("Image is larger after 8 bit conversion, skipped.");
      } else {
        ConsoleWriteLn();
        ConsoleWriteLn("Cannot convert image to 8 bit.");
        return false;
      }
    }

    // 11. read-only
    if (!SetFileAttributesW(target, FILE_ATTRIBUTE_READONLY)) {
      ConsoleWriteLn();
      ConsoleWriteLn("Cannot change file attributes to readonly.");
      return false;
    }
    ConsoleWriteLn();
    return true;
  } catch (...) {
    // 12.
    ConsoleWriteLn();
    ConsoleWriteLn("Error on image processing.");
    ConsoleWriteLn();
    return false;
  }
}
