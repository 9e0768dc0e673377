// How far the catalogue's pass has come, for a host program that wants to
// show it (cataloguequery's progress line while it waits for the first
// pass).
//
// The catalogue runs inside the plug-in, which exports nothing but its C
// entry points, so the host offers the counters instead: a program that
// defines an object of this type under the C name kScanProgressSymbol, and
// exports it (-Wl,--export-dynamic-symbol=vaultCatalogueScanProgress), sees
// it counted up by every pass of the storage in its process. Without one
// nothing is counted. The counters are only ever added to.
#pragma once

#include <atomic>
#include <cstdint>

namespace Catalogue {

struct ScanProgress {
    std::atomic<std::uint64_t> foldersEntered{0};
    std::atomic<std::uint64_t> labelsRead{0};
    std::atomic<std::uint64_t> passesEnded{0};  // passes of the plug-in's catalogue, failed ones included
};

constexpr const char* kScanProgressSymbol = "vaultCatalogueScanProgress";

}  // namespace Catalogue
