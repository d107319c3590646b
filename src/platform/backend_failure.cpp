#include "platform/session_backends.h"

namespace Platform {
namespace {
BackendFailureHandler& failureHandler()
{
    static BackendFailureHandler handler;
    return handler;
}
} // namespace

void SetBackendFailureHandler(BackendFailureHandler handler)
{
    failureHandler() = std::move(handler);
}

void ReportBackendFailure(BackendFeature feature, const QString& reason)
{
    if (failureHandler())
        failureHandler()(feature, reason);
}

} // namespace Platform
