// quorvil-export: the picture of a piece of ground, assembled from the map service's
// tiles through the tile store, written to a file.

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "ExportOptions.h"
#include "TerminalPrompter.h"
#include "imagery/AreaCheck.h"
#include "imagery/ImageSupport.h"
#include "imagery/MosaicSupport.h"
#include "platform/ProgramError.h"
#include "platform/PromptSupport.h"
#include "service/ServiceTextSupport.h"
#include "service/TerraServiceSupport.h"
#include "settings/PreferencesSupport.h"
#include "settings/VersionSupport.h"

namespace quorvil {
namespace {

// The store starts as the viewer's does with nothing stored: the preferences' default
// cache size and delete percent.
const std::int64_t kDefaultTileLimit = TileLimitFromCacheSize(kDefaultMaxCacheSize);

volatile std::sig_atomic_t interrupted = 0;
bool progressShown = false;  // a progress line is on the terminal and not yet ended

void OnInterrupt(int) { interrupted = 1; }

void EndProgressLine() {
  if (progressShown) {
    std::fputc('\n', stderr);
    progressShown = false;
  }
}

void DrawProgress(int percent, std::int64_t done, std::int64_t total) {
  constexpr int kWidth = 40;
  const int filled = percent * kWidth / 100;
  std::fprintf(stderr, "\r[%.*s%.*s] %3d%%  %lld of %lld tiles", filled,
               "########################################", kWidth - filled,
               "........................................", percent, static_cast<long long>(done),
               static_cast<long long>(total));
  std::fflush(stderr);
  progressShown = true;
}

// Ctrl-C also ends the transfers on the wire, so that a slow or silent server does not
// hold the program until its time-out. A signal handler may not take the locks that
// takes, so a thread looks at the flag.
class TInterruptWatch {
 public:
  TInterruptWatch()
      : thread_([this] {
          while (!done_.load()) {
            if (interrupted) {
              AbortServiceTransfers();
              return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
          }
        }) {}
  ~TInterruptWatch() {
    done_ = true;
    thread_.join();
  }
  TInterruptWatch(const TInterruptWatch&) = delete;
  TInterruptWatch& operator=(const TInterruptWatch&) = delete;

 private:
  std::atomic<bool> done_{false};
  std::thread thread_;
};

TBitmap24 BlackPicture(int width, int height) {
  TBitmap24 picture(width, height);
  std::memset(picture.Data(), 0, static_cast<std::size_t>(picture.ByteCount()));
  return picture;
}

int Export(const TExportOptions& options) {
  const TInterruptWatch watch;
  InitializeTileService(options.server,
                        options.cacheFolder.empty() ? ProgramCacheFolder() : options.cacheFolder,
                        kDefaultTileLimit, kDefaultCacheDeletePercent, options.connections);

  const Scale scale = ScaleOfZoomLevel(options.zoom);
  std::unique_ptr<AreaBoundingBox> area;
  TBitmap24 picture;
  if (options.byCenter) {
    area =
        ServiceGetAreaFromPt(options.center, options.theme, scale, options.width, options.height);
    CheckViewArea(*area, options.width, options.height);
    picture = BlackPicture(options.width, options.height);
  } else {
    const TSelectionRec selection{true, options.west, options.north, options.east, options.south};
    area = GetAreaForSelection(selection, options.theme, scale);
    CheckSelectionArea(*area, selection, options.zoom);
    // A selection is an output picture, as Save As makes it: white where nothing is drawn.
    picture = NewAreaBitmap(*area);
    std::memset(picture.Data(), 0xFF, static_cast<std::size_t>(picture.ByteCount()));
  }
  if (interrupted) return kExitInterrupted;  // nothing drawn, nothing to write

  const bool showProgress = !options.quiet && ::isatty(STDERR_FILENO) != 0;
  const std::int64_t total = AreaTileCount(*area);
  std::int64_t done = 0;
  const auto noteCacheWarning = [&] {
    if (const std::string warning = TakeTileCacheWarning(); !warning.empty() && !options.quiet) {
      EndProgressLine();
      std::fprintf(stderr, "%s\n", warning.c_str());
    }
  };
  bool complete = false;
  TMosaicReport report;
  try {
    complete = DrawAreaToBitmap(
        picture, *area,
        [&](bool& cancel, int percent) {
          ++done;
          noteCacheWarning();
          if (showProgress) DrawProgress(percent, done, total);
          if (interrupted) cancel = true;
        },
        &report);
  } catch (const ETransferAborted&) {
    if (!interrupted) throw;  // Ctrl-C ended the tile on the wire: keep what is drawn
  }
  noteCacheWarning();
  EndProgressLine();
  if (options.strict && !report.Missing.empty()) throw ETileMissing();
  SaveBitmapToFile(picture, options.output, ExportFileType(options.output));
  if (!options.quiet && (!report.Missing.empty() || !report.Failed.empty())) {
    std::string line = std::to_string(report.Missing.size()) + " of " + std::to_string(total) +
                       " tiles had no imagery, " + std::to_string(report.Failed.size()) +
                       " could not be downloaded";
    if (report.Failure) {
      try {
        std::rethrow_exception(report.Failure);
      } catch (const std::exception& error) {
        line += ": " + ErrorDisplayText(ServiceTextForDisplay(error.what()));
      }
    }
    std::fprintf(stderr, "%s\n", line.c_str());
  }
  if (!complete) {
    if (!options.quiet) {
      std::fprintf(stderr, "Interrupted: wrote %s with %lld of %lld tiles\n",
                   options.output.c_str(), static_cast<long long>(done),
                   static_cast<long long>(total));
    }
    return kExitInterrupted;
  }
  return report.Failed.empty() ? kExitWritten : kExitTilesFailed;
}

// An error on the terminal: its text may quote the service, so it is made fit to show.
void ShowError(const std::exception& error) {
  std::fprintf(stderr, "%s\n", ErrorDisplayText(ServiceTextForDisplay(error.what())).c_str());
}

// After the export, whatever its outcome, the cache goes back under its limit.
void TrimAndStop() {
  try {
    if (CacheOverLimit()) TrimTileCache();
  } catch (const std::exception& error) {
    ShowError(error);
  }
  FinalizeTileService();
}

}  // namespace
}  // namespace quorvil

int main(int argc, char** argv) {
  using namespace quorvil;
  TExportOptions options;
  try {
    options = ParseExportOptions(argc - 1, argv + 1);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "quorvil-export: %s\nTry \"quorvil-export --help\".\n", error.what());
    return kExitUsage;
  }
  if (options.help) {
    std::fputs(ExportUsage().c_str(), stdout);
    return kExitWritten;
  }
  if (options.version) {
    std::printf("quorvil-export %s\n",
                FileVersionToString(GetFileVersion("/proc/self/exe")).c_str());
    return kExitWritten;
  }

  SetPrompter(std::make_shared<TTerminalPrompter>(&EndProgressLine));
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART | SA_RESETHAND;  // a second Ctrl-C ends the program at once
  sigaction(SIGINT, &action, nullptr);

  int code = kExitError;
  try {
    code = Export(options);
  } catch (const ESilentAbort&) {
    EndProgressLine();
    // A transfer that Ctrl-C ended before anything was drawn.
    code = interrupted ? kExitInterrupted : kExitDeclined;
  } catch (const std::exception& error) {
    EndProgressLine();
    ShowError(error);
    code = kExitError;
  }
  TrimAndStop();
  return code;
}
