// `vaultadmin check-catalogue`: compares the catalogue database with what the
// storage holds, and changes neither.
//
// The storage side is the storage scanner's tables (Catalogue::scanStorage,
// the same pass the Quenlith plug-in answers from), one pass per storage root
// of the node configuration. The catalogue side is read through the database
// interface manager: the vault's task list and its computers. Tasks are
// matched by task GUID (byte for byte, as the scanner compares them), pools
// by pool GUID ignoring letter case.
//
// Reading is all it does: the roots are opened read-only, a catalogue folder
// is looked up below its root one component at a time without following a
// link, and a folder outside every root is reported, never visited.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace Catalogue {
class CatalogueTables;
}

namespace VaultAdmin {

// One task as the catalogue holds it.
struct CatalogueTask {
    uint32_t id = 0;
    std::string guid;
    std::string name;
    std::string computerGuid;  // "" when the task's computer is not in the catalogue
    std::string computerName;
    std::string poolGuid;
    std::string folder;
};

struct CatalogueSide {
    std::string location;  // "catalogue database '...'"
    std::vector<CatalogueTask> tasks;
    size_t computers = 0;
};

// A difference between the two sides. `kind` is one of the names below;
// `catalogue` and `storage` hold what each side says (an object, or null when
// that side holds nothing); `message` is the line a person reads.
struct Finding {
    std::string kind;
    std::string taskGuid;
    std::string computerGuid;
    std::string poolGuid;
    nlohmann::json catalogue;
    nlohmann::json storage;
    std::string message;
};

// The kinds, in the order the report lists them.
extern const char* const kFolderMissing;         // "folder-missing"
extern const char* const kNoLabel;               // "no-label"
extern const char* const kNotInCatalogue;        // "task-not-in-catalogue"
extern const char* const kNameDiffers;           // "name-differs"
extern const char* const kComputerDiffers;       // "computer-differs"
extern const char* const kComputerNameDiffers;   // "computer-name-differs"
extern const char* const kPoolDiffers;           // "pool-differs"
extern const char* const kFolderDiffers;         // "folder-differs"
extern const char* const kDuplicate;             // "duplicate"
extern const char* const kPoolNotInCatalogue;    // "pool-not-in-catalogue"
extern const char* const kPoolNotOnStorage;      // "pool-not-on-storage"

struct CheckReport {
    std::string catalogue;            // where the catalogue is
    std::vector<std::string> roots;   // the storage roots, in order
    size_t catalogueTasks = 0;
    size_t catalogueComputers = 0;
    size_t cataloguePools = 0;
    size_t storageTaskFolders = 0;
    size_t storagePools = 0;
    std::vector<Finding> findings;
    double storageSeconds = 0;
    double catalogueSeconds = 0;
    double compareSeconds = 0;
};

// Which side could not be read; thrown by runCatalogueCheck.
struct CatalogueUnreadable : std::runtime_error {
    using std::runtime_error::runtime_error;
};
struct StorageUnreadable : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Reads the catalogue of the node configuration the process points at.
// Throws CatalogueUnreadable when the plug-in cannot be loaded, the database
// cannot be opened or read, or the plug-in does not serve a task list (its
// name is in the message).
CatalogueSide readCatalogueSide();

// Compares the catalogue with the tables of the roots (`tables[i]` is the
// scan of `roots[i]`). Pure: looks at the file system only to tell a
// missing catalogue folder from one without a label.
std::vector<Finding> compareCatalogue(const CatalogueSide& catalogue, const std::vector<std::string>& roots,
                                      const std::vector<Catalogue::CatalogueTables>& tables);

struct CheckOptions {
    // Called between the phases and, while the storage is scanned, a few
    // times a second with (phase, done, total); may be empty.
    std::function<void(const std::string& phase, uint64_t done, uint64_t total)> progress;
};

// The whole check for the vault the process points at. Throws
// StorageUnreadable when there is no storage root or a root cannot be
// opened, CatalogueUnreadable as readCatalogueSide.
CheckReport runCatalogueCheck(const CheckOptions& options);

void printCheckText(const CheckReport& report, std::ostream& out);
nlohmann::json checkJson(const CheckReport& report);

}  // namespace VaultAdmin
