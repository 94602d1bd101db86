#pragma once

#include <QString>
#include <exception>
#include <string>

namespace orvane {

// An error that ends the command that raised it and goes to the error box.
class Exception : public std::exception {
public:
    explicit Exception(QString message);
    const QString& message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_utf8.c_str(); }

private:
    QString m_message;
    std::string m_utf8;
};

// A number box that holds no integer.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// A registry value of the wrong type, or a failed registry write.
class ERegistryException : public Exception {
public:
    using Exception::Exception;
};

// A file that cannot be opened.
class EFOpenError : public Exception {
public:
    using Exception::Exception;
};

// A failed file-system operation, carrying the system's error code.
class EInOutError : public Exception {
public:
    explicit EInOutError(unsigned code);
    unsigned errorCode() const noexcept { return m_code; }

private:
    unsigned m_code;
};

} // namespace orvane
