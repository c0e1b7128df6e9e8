// Records of the NFS export subsystem.
#include "isilon/IsilonJSON.h"

void _IsilonNFSPermissions::clear() {
  setClients.clear();
  setReadOnlyClients.clear();
  setReadWriteClients.clear();
  setRootClients.clear();
  setSecurityFlavors.clear();
}

void _IsilonNFSExportInfo::clear() {
  nId = 0;
  vPaths.clear();
  vClients.clear();
  vReadOnlyClients.clear();
  vReadWriteClients.clear();
  vRootClients.clear();
  vSecurityFlavors.clear();
  strReserved.clear();
  bReadOnly = false;
  bAllDirs = true;
}
