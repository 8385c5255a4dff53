#pragma once
// How an attempt to start or open something went: success, or a failure that says why. The
// reason is for the log and for tests; texts the user sees stay with the code that shows them.
#include <string>
#include <utility>

namespace vidora {

struct Failure {
    std::string reason;
};

class Result {
  public:
    Result() = default;                                                             // success
    Result(Failure failure) : failed_(true), reason_(std::move(failure.reason)) {}  // NOLINT

    bool ok() const { return !failed_; }
    explicit operator bool() const { return ok(); }
    // Empty for a success.
    const std::string& reason() const { return reason_; }

  private:
    bool failed_ = false;
    std::string reason_;
};

}  // namespace vidora
