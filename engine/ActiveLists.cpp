#include "ActiveLists.h"

ActiveLists& ActiveLists::instance() {
    static ActiveLists lists;
    return lists;
}
