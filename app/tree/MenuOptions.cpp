#include "app/tree/MenuOptions.h"

MenuOptions& MenuOptions::Current() {
    static MenuOptions options;
    return options;
}
