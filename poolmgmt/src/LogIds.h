// The facility values and message identifiers the library logs with, in one
// place: the templates they select are in the message catalogue (docs/log.md).
#pragma once

namespace Veshmoor {
namespace detail {

const int kFacility = 54;          // every line of the library
const int kCatalogueFacility = 1;  // the catalogue-message form of log_show
const int kSynchFacility = 5;      // the warning about a missing synchronisation file

const unsigned kInformation = 0x1001;             // "%s-I-0001 %s"
const unsigned kWarning = 0x1002;                 // "%s-W-0002 %s"
const unsigned kError = 0x1003;                   // "%s-E-0003 %s"
const unsigned kHandlerFailure = 0x1004;          // "%s-F-0004 %s"
const unsigned kSubmitRequestFailed = 0x10AC;     // "%s-E-0172 submit request failed"
const unsigned kDisabledByLocalSettings = 0x1185;  // "%s-W-0384 This feature is disabled ..."
const unsigned kTrace = 0x4001;                   // "%s-T-1111 %s"

}  // namespace detail
}  // namespace Veshmoor
