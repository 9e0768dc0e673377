// The one catalogue of the interface tests: a node configuration and a
// hand-made storage set up before the first interface is created (which
// starts the process-wide catalogue), and a way to change the storage and
// wait for the catalogue to read it again.
//
// The storage, one mount root per task folder so that the scan order is the
// mount order:
//   Mount_0  T1 "Docs"    of C-one   "one"   pool Pool-A
//   Mount_1  T2 "Mail"    of C-one   (a second name "other", ignored)
//   Mount_2  T3 "Photos"  of C-two   (no name: its GUID is its name)
//   Mount_3  T4 "Ledger"  of C-three "three" pool pool-b
//   Mount_4  T5 without a computer
// Settings (node-local): VaultUser alice, VaultPassword secret,
// VaultAccount Acme-Corp; [node] HostName interface-node.
#pragma once

#include <string>

namespace InterfaceTest {

extern const char* const kHostName;

// Root of the storage (mount i is <root>/m<i>).
std::string storageRoot();
// Folder of task n (1..5), ending in a separator.
std::string taskFolder(int n);
// Rewrites the node configuration's [local] VaultAccount (empty: removed).
void setVaultAccount(const std::string& account);
// Asks the catalogue for another pass and waits for it.
void refreshCatalogue();

}  // namespace InterfaceTest
