#pragma once

#include <QString>

#include <exception>
#include <optional>
#include <utility>

// A failed call of a control or a runtime service: an error number and a description, as the
// error report shows them.
struct Failure {
    int number = 0;
    QString description;
};

// Carries a Failure out of a handler to the top-level error report. It is thrown and caught only
// in Folvane's own code: a handler's guard catches it before control returns to Qt.
class FailureException final : public std::exception {
public:
    explicit FailureException(Failure failure) : m_failure(std::move(failure)) {}
    const Failure &failure() const noexcept { return m_failure; }
    const char *what() const noexcept override { return "Folvane failure"; }

private:
    Failure m_failure;
};

[[noreturn]] inline void raiseFailure(int number, const QString &description)
{
    throw FailureException(Failure{number, description});
}

// Error numbers of the failures that Folvane reports.
namespace ErrorNumber {
inline constexpr int InvalidProcedureCall = 5;
inline constexpr int OutOfMemory = 7;
inline constexpr int InternalError = 51;
inline constexpr int FileNotFound = 53;
inline constexpr int PermissionDenied = 70;
inline constexpr int PathFileAccessError = 75;
inline constexpr int PathNotFound = 76;
inline constexpr int ObjectNotSet = 91;
inline constexpr int ObjectDoesNotSupport = 438;
inline constexpr int AutomationError = 440;
} // namespace ErrorNumber

// Mixed into a control class: its members record a failure here instead of throwing, and the
// dispatch helper turns the recorded failure into a FailureException in the calling handler.
class ControlFailures {
public:
    std::optional<Failure> takeFailure() { return std::exchange(m_failure, std::nullopt); }

protected:
    ~ControlFailures() = default;
    void fail(int number, const QString &description) { m_failure = Failure{number, description}; }

private:
    std::optional<Failure> m_failure;
};
