#include "app/desktop_services.h"

#include "platform/trash.h"

bool MoveFileToTrash(const std::string& path)
{
    return MoveToTrash(path) == TrashResult::kDone;
}
