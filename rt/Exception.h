// Errors of the whole system: one base class that carries a kind name and a message.
// The driver prints KindName() + ": " + Message(); every error class is named by its kind.
#pragma once

#include <exception>
#include <string>

namespace voltrane {

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : Exception("Exception", std::move(message)) {}

  const std::string& KindName() const noexcept { return kind_; }
  const std::string& Message() const noexcept { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }

  // Lets a layer that knows more (which file, which waypoint) add it before rethrowing
  // the same object, so the kind stays what it was.
  void AppendToMessage(const std::string& text) { message_ += text; }
  // Every quoted path in the message that starts with prefix becomes the quoted
  // replacement: a layer that owns internal files names the user's file instead.
  void ReplaceQuotedPaths(const std::string& prefix, const std::string& replacement);

 protected:
  Exception(std::string kind, std::string message)
      : kind_(std::move(kind)), message_(std::move(message)) {}

 private:
  std::string kind_;
  std::string message_;
};

// Declares an error class whose kind name is its class name.
#define VOLTRANE_ERROR_KIND(Name, Base)                                                        \
  class Name : public Base {                                                                   \
   public:                                                                                     \
    explicit Name(std::string message) : Base(#Name, std::move(message)) {}                    \
                                                                                               \
   protected:                                                                                  \
    Name(std::string kind, std::string message) : Base(std::move(kind), std::move(message)) {} \
  }

VOLTRANE_ERROR_KIND(EStreamError, Exception);
VOLTRANE_ERROR_KIND(EReadError, EStreamError);   // "Stream read error"
VOLTRANE_ERROR_KIND(EWriteError, EStreamError);  // "Stream write error"
VOLTRANE_ERROR_KIND(EFileError, EStreamError);
VOLTRANE_ERROR_KIND(EInOutError, Exception);  // console output failed

// The system's error text for errno: strerror without trailing blanks, line breaks, periods.
std::string SysErrorText(int errorNumber);

// File errors carry the absolute path and the system's reason.
#define VOLTRANE_FILE_ERROR_KIND(Name, Text)                                           \
  class Name : public EFileError {                                                     \
   public:                                                                             \
    Name(const std::string& path, int errorNumber)                                     \
        : EFileError(#Name, Text " \"" + path + "\". " + SysErrorText(errorNumber)) {} \
  }

VOLTRANE_FILE_ERROR_KIND(EFCreateError, "Cannot create file");
VOLTRANE_FILE_ERROR_KIND(EFOpenError, "Cannot open file");
VOLTRANE_FILE_ERROR_KIND(EFWriteError, "Cannot write file");
VOLTRANE_FILE_ERROR_KIND(EFReadError, "Cannot read file");
VOLTRANE_FILE_ERROR_KIND(EFCreateFolderError, "Cannot create folder");

}  // namespace voltrane
