#pragma once

#include <QString>

#include <exception>
#include <string>

namespace qm {

// Error numbers of the Visual Basic run-time, so that error reports read as administrators
// of the original tool know them.
enum class VbErr : int {
    InvalidCall = 5,
    Overflow = 6,
    OutOfMemory = 7,
    SubscriptOutOfRange = 9,
    TypeMismatch = 13,
    InternalError = 51,
    BadFileNameOrNumber = 52,
    FileNotFound = 53,
    BadFileMode = 54,
    FileAlreadyOpen = 55,
    DeviceIOError = 57,
    FileAlreadyExists = 58,
    DiskFull = 61,
    InputPastEndOfFile = 62,
    PermissionDenied = 70,
    PathFileAccessError = 75,
    PathNotFound = 76,
    InvalidPropertyValue = 380,
    ObjectNotSet = 91,
    ObjectRequired = 424,
    CantCreateObject = 429,
    NoSuchMember = 438,
    AutomationError = 440,
    WrongArgumentCount = 450,
    ServerUnavailable = 462,
};

// The run-time's own description of an error number ("Type mismatch" for 13);
// "Application-defined or object-defined error" for numbers it does not know.
QString vbErrorDescription(int number);

// An error raised by a failing operation; caught by the error trap of the calling procedure.
class VbError : public std::exception {
public:
    explicit VbError(VbErr err);
    VbError(int number, QString description);

    int number() const { return m_number; }
    const QString& description() const { return m_description; }
    const char* what() const noexcept override { return m_what.c_str(); }

private:
    int m_number;
    QString m_description;
    std::string m_what;
};

[[noreturn]] void raise(VbErr err);

} // namespace qm
