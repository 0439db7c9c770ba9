// The content parser: fills a child list from a reader.
#pragma once

#include "xml/XmlDocument.h"
#include "xml/XmlSource.h"

namespace voltrane {

// Parses content into list until the end of input or, at the outermost level, an end tag.
// Open elements are kept on a heap stack rather than the call stack, so nesting of any
// depth parses without exhausting the stack.
void ParseContent(TXmlNodeList& list, TXmlSource& reader, const IXmlNameTable& names,
                  bool keepWhiteSpace, const TXmlElementHook& elementStartHook,
                  const TXmlElementHook& elementEndHook);

}  // namespace voltrane
