#ifndef DESKTOP_LAUNCHER_INSTALLER_SERVICE_MSXML_IDS_H_
#define DESKTOP_LAUNCHER_INSTALLER_SERVICE_MSXML_IDS_H_

#include <msxml2.h>

// The toolchain's headers declare these identifiers of the XML services but
// no library of it defines them; msxml_ids.cc does.
//   CLSID_DOMDocument30   f5078f32-c551-11d3-89b9-0000f81fe221
//   IID_IXMLDOMDocument2  2933bf95-7b36-11d2-b20e-00c04f983e60

#endif  // DESKTOP_LAUNCHER_INSTALLER_SERVICE_MSXML_IDS_H_
