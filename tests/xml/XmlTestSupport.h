// Helpers of the XML tests.
#pragma once

#include <functional>
#include <string>

#include "rt/Exception.h"
#include "xml/VoltXml.h"

namespace voltrane::test {

inline IXmlDocument Parse(const std::string& text, bool keepWhiteSpace = false) {
  IXmlDocument doc = NewXmlDocument();
  doc->SetKeepWhiteSpace(keepWhiteSpace);
  doc->LoadFromXmlText(text);
  return doc;
}

// The message of the error the action raises, or "(no error)".
inline std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Exception& e) {
    return e.Message();
  }
  return "(no error)";
}

}  // namespace voltrane::test
