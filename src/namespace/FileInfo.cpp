// The file entry record and its debug dump, shared by the listing and the attributes reader.
#include "src/namespace/FileInfo.h"

#include "host/DebugLog.h"

void _IsilonFileInfo::clear() {
  strName.clear();
  strPath.clear();
  strMode.clear();
  strOwner.clear();
  strType.clear();
  nMtime = 0;
  nSize = 0;
}

namespace isilon {

void DebugFileInfo(const char* function, const _IsilonFileInfo& info) {
  EvDebug debug(nullptr);
  debug.DebugLvl(function, 3,
                 " \n\t Name\t\t\t:[%s]\n\t Path\t\t\t:[%s]\n\t Last Modified\t:[%lu]\n\t Owner\t\t\t:[%s]\n\t "
                 "Permissions\t:[%s]\n\t Type\t\t\t:[%s]\n\t Size\t\t\t:[%llu]",
                 info.strName.c_str(), info.strPath.c_str(), static_cast<unsigned long>(info.nMtime),
                 info.strOwner.c_str(), info.strMode.c_str(), info.strType.c_str(),
                 static_cast<unsigned long long>(info.nSize));
}

}  // namespace isilon
