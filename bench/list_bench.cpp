// list_10k_vs_100: building the sidebar and the item list (composition, sort, models and
// a laid-out view) for a catalogue of 10,000 items against the same build for 100 items.
// ratio = time per item at 10,000 / time per item at 100; 1 or less is linear or better.
#include "app/item_list_model.h"
#include "app/sidebar_model.h"
#include "bench/bench_registry.h"
#include "core/catalogue.h"
#include "core/item_sorting.h"
#include "core/list_composition.h"

#include <QListView>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace tessaro::bench {

namespace {

// The default section (header, all-items group, add row) with `groups` user groups and
// `items` items spread over the all-items group and the user groups.
RowList section(RowList rows, int groups, int items) {
    const QString listKey = rows.first()->groupName;
    const bool isNotes = rows.first()->isNotes;
    for (int g = 0; g < groups; ++g) {
        rows.insert(rows.size() - 1, makeGroupRow(QStringLiteral("Group %1").arg(g), listKey, isNotes, 1700000000));
    }
    for (int i = 0; i < items; ++i) {
        auto item = std::make_shared<FileModel>();
        item->name = QStringLiteral("Document %1.pdf").arg((i * 7919) % items);
        item->path = QStringLiteral("/home/user/Documents/") + item->name;
        item->addDate = 1700000000 + (i * 104729) % 100000;
        item->fileSize = 1000 + i;
        item->isEncrtypt = i % 3 != 0;
        rows[1 + i % (groups + 1)]->fileModels->append(item);
    }
    renumberRowList(rows);
    return rows;
}

// One build as the main window does it after login: sidebar, then the all-items list.
double buildOnce(const Catalogue& catalogue, QListView& sidebarView, QListView& itemView) {
    return timeSeconds([&] {
        auto* sidebar = new SidebarModel(&sidebarView);
        sidebar->setEntries(composeSidebar(catalogue.groupDirList, catalogue.UPLibrary, catalogue.groupNoteList,
                                           [](const QString&) { return true; }),
                            1);
        auto* items = new ItemListModel(&itemView);
        std::shared_ptr<FileModelList> shown = composeItemList(catalogue.groupDirList, 1);
        sortItemList(*shown, kSortByName, true);
        items->setItems(*shown);
        QAbstractItemModel* oldSidebar = sidebarView.model();
        QAbstractItemModel* oldItems = itemView.model();
        sidebarView.setModel(sidebar);
        itemView.setModel(items);
        sidebarView.doItemsLayout();
        itemView.doItemsLayout();
        delete oldSidebar;
        delete oldItems;
    });
}

double medianBuild(int itemCount, int repeats) {
    Catalogue catalogue;
    catalogue.groupDirList = section(Catalogue::defaultLocalList(1700000000), 20, itemCount);
    catalogue.groupNoteList = section(Catalogue::defaultNotesList(1700000000), 2, 20);
    QListView sidebarView;
    QListView itemView;
    itemView.setUniformItemSizes(true);
    itemView.setItemDelegate(new ItemDelegate(&itemView));
    sidebarView.setItemDelegate(new SidebarDelegate(&sidebarView));
    itemView.resize(800, 600);
    sidebarView.resize(232, 600);
    std::vector<double> times;
    for (int i = 0; i < repeats; ++i) {
        times.push_back(buildOnce(catalogue, sidebarView, itemView));
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void run(const BenchOptions&) {
    medianBuild(100, 3);  // warm caches and lazy initialisation
    const double t100 = medianBuild(100, 41);
    const double t10k = medianBuild(10000, 11);
    const double ratio = (t10k / 10000.0) / (t100 / 100.0);
    std::printf("list_10k_vs_100 ratio=%.3f ms_10k=%.2f ms_100=%.3f (ratio: time per item at 10000 / at 100)\n", ratio,
                t10k * 1000.0, t100 * 1000.0);
}

const bool registered = registerBenchCase({{QStringLiteral("list_10k_vs_100")}, run});

}  // namespace

}  // namespace tessaro::bench
