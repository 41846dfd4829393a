#include "tool/convertimage.h"

#include "platform/signal_cleanup.h"
#include "platform/win_console.h"
#include "platform/win_errors.h"
#include "platform/win_files.h"
#include "platform/win_process.h"
#include "tool/ninepatch_palette.h"
#include "tool/output_file.h"
#include "tool/resize_branch.h"
#include "tool/zolib.h"

#include <cmath>
#include <unistd.h>
#include <cstdio>

namespace {

// Runs the quantiser on File, which it rewrites in place (File ends in ".png",
// the spelling the quantiser keeps).
bool RunQuantiser(const std::string& QuantPath, const std::string& File, uint32_t& ExitCode) {
  return ExecuteAndWait(QuantPath, "--quality=45-85 --ext .png --force --skip-if-larger " + QuoteCommandLineArg(File),
                        "", 1, ExitCode);
}

bool FolderWritable(const std::string& Folder) { return access(Folder.c_str(), W_OK | X_OK) == 0; }

}  // namespace

TPendingImage::TPendingImage() = default;
TPendingImage::TPendingImage(TPendingImage&&) noexcept = default;
TPendingImage& TPendingImage::operator=(TPendingImage&&) noexcept = default;
TPendingImage::~TPendingImage() = default;

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
  TPendingImage pending;
  if (!PrepareImage(Source, OutDir, Mode, Dip, Copy, EightBit, NewerOnly, LongSide, QuantPath, pending)) return false;
  return FinishImage(pending);
}

bool PrepareImage(const std::string& Source, const std::string& OutDir, uint8_t Mode, int32_t Dip, bool Copy,
                  bool EightBit, bool NewerOnly, bool LongSide, const std::string& QuantPath, TPendingImage& Pending) {
  Pending = TPendingImage();
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

  // 4. an existing target stays untouched until the new one is complete; it is
  // then replaced in one step, read-only or not.
  const bool existed = FileExists(target);
  if (existed) {
    if (NewerOnly) {
      const double targetTime = GetFileDateTime(target, 3);
      const double sourceTime = GetFileDateTime(Source, 3);
      if (!(sourceTime > targetTime)) return true;
    }
    // Replacing the target must never replace the source itself.
    if (SameFile(target, Source)) {
      ConsoleWriteLn("Target is the source file, skipped.");
      return true;
    }
    if (!FolderWritable(targetDir)) {
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
  auto output = std::make_unique<TOutputFile>();
  try {
    const bool created = output->Create(target);
    if (Copy) {
      // 7. copy
      if (!created || !output->CopyFrom(Source)) {
        ConsoleWriteLn();
        ConsoleWriteLn("Cannot copy image file.");
        return false;
      }
    } else {
      // 8-9. load, resample, save
      if (!created) {
        ConsoleWriteLn();
        ConsoleWriteLn("Cannot save image file.");
        return false;
      }
      if (!ResizeImageFile(Source, *output, bucket.Size, LongSide)) return false;
    }

    // 10. palette reduction by the quantiser; the file path is one argument. A
    // nine-patch border must come out of it exactly as it went in.
    if (EightBit) {
      // The quantiser replaces the file by a new one of the same name.
      if (!output->Close()) throw EInOutError("Cannot write \"" + output->Path() + "\"");
      const bool ninePatch = EndsWithText(Source, ".9.png", true);
      TNinePatchBorder border;
      if (ninePatch && !ReadNinePatchBorder(output->Path(), border))
        throw EInOutError("Cannot read \"" + output->Path() + "\"");
      uint32_t exitCode = 0;
      if (RunQuantiser(QuantPath, output->Path(), exitCode) && exitCode == 0) {
        if (ninePatch && !RestoreNinePatchBorder(output->Path(), border)) {
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

    // 11. read-only, still under the temporary name
    if (!output->MakeReadOnly()) {
      ConsoleWriteLn();
      ConsoleWriteLn("Cannot change file attributes to readonly.");
      return false;
    }
    // Results waiting to be put in place hold no open file; one the system
    // could not keep whole is no result.
    if (!output->Close()) throw EInOutError("Cannot write \"" + output->Path() + "\"");
  } catch (...) {
    // 12.
    ConsoleWriteLn();
    ConsoleWriteLn("Error on image processing.");
    ConsoleWriteLn();
    return false;
  }
  Pending.Output = std::move(output);
  Pending.TargetExisted = existed;
  return true;
}

bool FinishImage(TPendingImage& Pending) {
  if (!Pending.Output) return true;
  const bool placed = Pending.Output->Commit();
  Pending.Output.reset();
  ConsoleWriteLn();
  if (!placed) {
    // The earlier target, if any, is still there: it could not be replaced.
    ConsoleWriteLn(Pending.TargetExisted ? "Cannot delete old target file." : "Cannot save image file.");
    return false;
  }
  return true;
}
