#include "xml/XmlLoadFilter.h"

namespace voltrane {

TXmlLoadFilter::TXmlLoadFilter(const std::vector<std::string>& paths) {
  for (const std::string& path : paths) {
    TStep* step = &root_;
    for (size_t start = 0;;) {
      size_t end = path.find('\\', start);
      std::string name = path.substr(start, end == std::string::npos ? end : end - start);
      TStep* inner = const_cast<TStep*>(Find(*step, name));
      if (!inner) inner = &step->Inner.emplace_back(TStep{name, false, {}});
      step = inner;
      if (end == std::string::npos) break;
      start = end + 1;
    }
    step->Whole = true;
  }
}

const TXmlLoadFilter::TStep* TXmlLoadFilter::Find(const TStep& step, std::string_view name) {
  for (const TStep& inner : step.Inner)
    if (inner.Name == name) return &inner;
  return nullptr;
}

}  // namespace voltrane
