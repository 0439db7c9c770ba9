// The XML document library: one header for its users.
#pragma once

#include "xml/XmlBase.h"
#include "xml/XmlDocument.h"
#include "xml/XmlEncoding.h"
#include "xml/XmlEscape.h"
#include "xml/XmlLoadFilter.h"
#include "xml/XmlNameTable.h"
#include "xml/XmlNode.h"
#include "xml/XmlNodes.h"
#include "xml/XmlVariant.h"
