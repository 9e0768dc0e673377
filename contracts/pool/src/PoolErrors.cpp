// The pool error types.
#include "Pool/PoolErrors.h"

#include <cstdarg>

namespace Pool {

namespace {
constexpr unsigned kErrorMessage = 0x1003;
constexpr unsigned kInformationMessage = 0x1001;
}  // namespace

PoolError::PoolError(int32_t errorNumber, const std::string& poolGuid, const std::string& jobGuid,
                     const std::string& text, void* context)
    : VaultUtilities::Error(errorNumber, kErrorMessage, text),
      errorNumber_(errorNumber),
      poolGuid_(poolGuid),
      jobGuid_(jobGuid),
      context_(context) {}

PoolError::~PoolError() = default;

DisableTaskWritersError::DisableTaskWritersError(const std::string& taskGuid, const char* format, ...)
    : PoolError(ErrorNumber::DISABLE_TASK_WRITERS, std::string(), taskGuid, std::string()) {
    // The text can only be formatted in the body (va_start needs it), so the
    // message of the standard exception is replaced once it is known.
    va_list args;
    va_start(args, format);
    const std::string text = VaultUtilities::formatMessageV(format, args);
    va_end(args);
    static_cast<std::runtime_error&>(*this) = std::runtime_error(text);
}

DisableTaskWritersError::~DisableTaskWritersError() = default;

JobInterruptedException::JobInterruptedException(const std::string& poolGuid, const std::string& jobGuid,
                                                 const std::string& text)
    : VaultUtilities::Error(ErrorNumber::JOB_INTERRUPTED, kInformationMessage, text),
      poolGuid_(poolGuid),
      jobGuid_(jobGuid) {}

JobInterruptedException::~JobInterruptedException() = default;

}  // namespace Pool
