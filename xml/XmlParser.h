// The content parser: fills a child list from a reader.
#pragma once

#include "xml/XmlDocument.h"
#include "xml/XmlSource.h"

namespace voltrane {

// Parses content into list until the end of input or, at the outermost level, an end tag.
// Open elements are kept on a heap stack rather than the call stack, so nesting of any
// depth parses without exhausting the stack. With a filter, elements it leaves out are
// checked but not built.
void ParseContent(TXmlNodeList& list, TXmlSource& reader, const IXmlNameTable& names,
                  bool keepWhiteSpace, const TXmlElementHook& elementStartHook,
                  const TXmlElementHook& elementEndHook, const TXmlLoadFilter* filter = nullptr);

}  // namespace voltrane
