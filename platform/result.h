#pragma once
// How an operation that starts or opens something went: success, or a failure that carries its
// reason, so that a caller never has to know what 1, 0 or -1 meant to one particular function.
// The reason is a sentence for the log; the system's error (errno) is kept beside it when there
// is one, for callers that tell the user in words of their own. A plain value.
#include <optional>
#include <string>
#include <utility>

namespace vidora {

struct Failure {
    std::string reason;
    int systemError = 0;  // errno, or 0 when the failure is not the system's
};

class [[nodiscard]] Result {
  public:
    Result() = default;  // success
    // Implicit, so that a function returns Failure{...} as its result.
    Result(Failure failure) : failure_(std::move(failure)) {}

    static Result success() { return {}; }

    bool ok() const { return !failure_.has_value(); }
    explicit operator bool() const { return ok(); }

    // Only for a failed result.
    const Failure& failure() const { return *failure_; }
    // Empty for a success.
    std::string reason() const { return failure_ ? failure_->reason : std::string(); }

  private:
    std::optional<Failure> failure_;
};

}  // namespace vidora
