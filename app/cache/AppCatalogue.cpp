#include "app/cache/AppCatalogue.h"

#include "app/cache/IconCache.h"
#include "app/shell/PackagedApps.h"
#include "app/tree/MenuNode.h"

#include <new>

namespace {

// The rows' icon column takes no NULL, and the apps' rows hold no icon: one zero byte.
const unsigned char NoIcon[] = {0};

} // namespace

int AppCatalogue::Read(IconCache& cache, std::vector<PackagedApp>& apps) {
    apps.clear();
    WString sql;
    sql.Format(L"SELECT path, hash, name FROM `cache` WHERE flags=%u;", (unsigned)NODE_APP);
    CacheCursor* cursor = nullptr;
    if (!cache.Execute(sql, &cursor))
        return 0;
    try {
        for (; cursor->HasRow() && apps.size() < PackagedApps::MaxApps; cursor->Step()) {
            PackagedApp app;
            cursor->GetText(0, app.id);
            app.stamp = (unsigned)cursor->GetInteger(1);
            cursor->GetText(2, app.name);
            if (!app.id.IsEmpty() && !app.name.IsEmpty())
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
    for (size_t i = 0; ok && i < apps.size(); i++)
        ok = cache.WriteEntry(apps[i].id, NODE_APP, apps[i].stamp, apps[i].name, NoIcon, sizeof(NoIcon));
    return cache.EndWrite() && ok;
}
