#pragma once

// Names that mark a GPX file as one of ours. Devices and the web application read the dialect
// exactly as it is, so these never change with the program's version.
inline constexpr char kZKGpxCreator[] = "tarvex";
inline constexpr char kZKGpxVersion[] = "2.2.0.3";
// Appended to kZKTarvexNamespaceHost.
inline constexpr char kZKGpxNamespacePath[] = "/KRM/2/2";
inline constexpr char kZKGpxSchemaFile[] = "/KRM.xsd";
