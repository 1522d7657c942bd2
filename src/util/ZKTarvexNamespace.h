#pragma once

// The maker's XML namespaces share one host; each exchange format appends its fixed path
// (for example "/KRM/2/2" or "/WRK/1/3").
inline constexpr char kZKTarvexNamespaceHost[] = "http://www.tarvex.com/xmlschemas";
