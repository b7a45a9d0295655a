#include "app/cache/AppCatalogue.h"

#include "app/cache/IconCache.h"
#include "app/shell/PackagedApps.h"
#include "app/tree/MenuNode.h"

#include <new>

namespace {

// The rows' icon column takes no NULL: an app whose folder is not known has one zero byte there.
const unsigned char NoFolder[] = {0};

// Only a folder that is not there counts as gone: one the user may not read (the packages' folders lie
// under Program Files\WindowsApps, whose own list users may not read) still holds its app.
int FolderGone(const WString& folder) {
    if (folder.IsEmpty() || GetFileAttributesW(folder) != INVALID_FILE_ATTRIBUTES)
        return 0;
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

} // namespace

int AppCatalogue::Read(IconCache& cache, std::vector<PackagedApp>& apps) {
    apps.clear();
    WString sql;
    sql.Format(L"SELECT path, hash, name, icon FROM `cache` WHERE flags=%u;", (unsigned)NODE_APP);
    CacheCursor* cursor = nullptr;
    if (!cache.Execute(sql, &cursor))
        return 0;
    try {
        for (; cursor->HasRow() && apps.size() < PackagedApps::MaxApps; cursor->Step()) {
            PackagedApp app;
            cursor->GetText(0, app.id);
            app.stamp = (unsigned)cursor->GetInteger(1);
            cursor->GetText(2, app.name);
            std::vector<unsigned char> folder;
            cursor->GetBlob(3, folder);
            if (folder.size() >= sizeof(wchar_t) && folder.size() % sizeof(wchar_t) == 0)
                app.folder.Assign(reinterpret_cast<const wchar_t*>(folder.data()),
                                  (unsigned)(folder.size() / sizeof(wchar_t)));
            if (!app.id.IsEmpty() && !app.name.IsEmpty() && !FolderGone(app.folder))
                apps.push_back(std::move(app));
        }
    } catch (const std::bad_alloc&) {
        apps.clear();
    }
    cache.ReleaseCursor(cursor);
    return 1;
}

int AppCatalogue::Write(IconCache& cache, const std::vector<PackagedApp>& apps) {
    WString sql;
    sql.Format(L"DELETE FROM `cache` WHERE flags=%u;", (unsigned)NODE_APP);
    if (!cache.IsOpen() || !cache.BeginWrite())
        return 0;
    int ok = cache.Execute(sql);
    for (size_t i = 0; ok && i < apps.size(); i++) {
        const WString& folder = apps[i].folder;
        ok = folder.IsEmpty()
                 ? cache.WriteEntry(apps[i].id, NODE_APP, apps[i].stamp, apps[i].name, NoFolder, sizeof(NoFolder))
                 : cache.WriteEntry(apps[i].id, NODE_APP, apps[i].stamp, apps[i].name,
                                    reinterpret_cast<const unsigned char*>(folder.Buffer()),
                                    folder.Length() * sizeof(wchar_t));
    }
    return cache.EndWrite() && ok;
}
