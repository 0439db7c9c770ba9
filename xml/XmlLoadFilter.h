// Which elements a load builds, for a reader that needs a few elements of a large document:
// those on one of the paths ("gpx\wpt\name") and everything inside an element a path ends
// at. The rest is read and checked as strictly as ever, then dropped without making nodes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace voltrane {

class TXmlLoadFilter {
 public:
  // One element name of the paths, with what is kept inside it.
  struct TStep {
    std::string Name;
    bool Whole = false;  // a path ends here: all of the element is kept
    std::vector<TStep> Inner;
  };

  // Paths of element names below the document, separated by "\".
  explicit TXmlLoadFilter(const std::vector<std::string>& paths);

  const TStep& Root() const { return root_; }
  // The step for a child element named name inside step; null when the child is dropped.
  static const TStep* Find(const TStep& step, std::string_view name);

 private:
  TStep root_;
};

}  // namespace voltrane
