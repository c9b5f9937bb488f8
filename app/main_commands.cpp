// Commands of the main toolbar: adding a CD or a box, searching, the settings, media
// notifications.

#include "app/mainunit_shared.h"

namespace app {

void Tmainform::TopNewCDClick()
{
    const int kind = nodeKind(selectedNode());
    const std::string presetBox =
        kind == catalog::BoxNode::LibraryRoot || kind == catalog::BoxNode::Box ? boxPath()
                                                                               : std::string();
    std::vector<char> letters;
    for (const auto& drive : m_services.drives.cdromDrives()) {
        letters.push_back(drive.letter);
    }
    if (letters.empty()) {
        m_services.dialogs.message("你没有光驱，无法加入光盘!", MessageIcon::Error);
        return;
    }
    m_newCdForm->setLibraryRoot(m_libraryRoot);
    m_newCdForm->setPresetBox(presetBox);
    m_newCdForm->setDriveLetters(letters);
    const auto withDisc = std::find_if(letters.begin(), letters.end(), [this](char letter) {
        return m_services.drives.discPresent(letter);
    });
    if (withDisc != letters.end()) {
        m_newCdForm->selectDrive(static_cast<int>(withDisc - letters.begin()));
        m_newCdForm->setCdName(m_services.drives.volumeLabel(*withDisc));
    } else {
        m_newCdForm->selectDrive(0);
    }
    m_newCdForm->exec();
    if (!m_newCdForm->cdAdded()) {
        return;
    }
    const char letter = m_newCdForm->selectedDrive();
    const std::optional<std::uint64_t> capacity = m_services.drives.discTotalSize(letter);
    const std::string targetBox = m_newCdForm->targetBox();
    const std::string nameGbk = m_newCdForm->cdNameGbk();

    QString description = QStringLiteral("光盘 ") + ui::fromGbk(targetBox + nameGbk);
    for (const std::string& line : m_newCdForm->optionLines()) {
        description += QLatin1Char('\n') + utf8(line);
    }
    m_cdMxForm->prepare(description, m_newCdForm->readmeText());
    const bool described = m_cdMxForm->exec() == QDialog::Accepted;
    // The description is written even when the user gives none.
    const catalog::RecordRef record{catalog::LibraryPath(m_libraryRoot, targetBox), nameGbk};
    try {
        catalog::WriteDescription(record,
                                  memoFileText(described ? m_cdMxForm->description() : QString()));
    } catch (const std::exception& error) {
        m_services.dialogs.message(error.what(), MessageIcon::Error);
    }
    if (m_newCdForm->openDoorWhenAdded()) {
        m_services.drives.setDriveDoor(letter, true);
    }
    showNewCd(targetBox, nameGbk);
    // The record gets its information at once, with or without a capacity.
    if (m_hasShownRecord && m_shownFiles.folder == record.folder &&
        m_shownFiles.name == record.name) {
        m_infoPanel->setCapacity(capacity);
        m_infoPanel->save();
    }
}

// The target box listed afresh from disk, so its list and counts include the new CD,
// and the new CD selected and shown.
void Tmainform::showNewCd(const std::string& targetBox, const std::string& nameGbk)
{
    QTreeWidgetItem* box = findNodeByPath(targetBox);
    if (box == nullptr) {
        // A box made beside the program since the tree was loaded.
        refreshLibrary();
        box = findNodeByPath(targetBox);
    }
    if (box != nullptr && box == selectedNode()) {
        TVstyleChange();
    } else {
        selectBoxPath(targetBox);
    }
    m_list->clearSelection();
    for (int row = 0; row < m_list->count(); ++row) {
        if (m_list->caption(row) == nameGbk && m_list->kind(row) == catalog::ListItem::CdRecord) {
            m_list->scrollTo(row);
            m_list->selectOnly(row);
            m_infoPanel->ClearInfoPanel();
            break;
        }
    }
    LVcdClick();
}

void Tmainform::TopNewCDSClick()
{
    const int kind = nodeKind(selectedNode());
    m_newBoxForm->setLibraryRoot(m_libraryRoot);
    m_newBoxForm->setParentPath(
        kind == catalog::BoxNode::LibraryRoot || kind == catalog::BoxNode::Box ? boxPath()
                                                                               : std::string());
    if (m_newBoxForm->exec() != QDialog::Accepted) {
        return;
    }
    const std::string& parentPath = m_newBoxForm->parentPath();
    const std::string nameGbk = m_newBoxForm->nameGbk();
    if (!createBox(catalog::LibraryPath(m_libraryRoot, parentPath), nameGbk)) {
        return;
    }
    if (QTreeWidgetItem* parentNode = findNodeByPath(parentPath)) {
        addNewBox(parentNode, nameGbk);
    }
}

void Tmainform::mediaChanged()
{
    runCommand([this] {
        RefreshDriveItems();
        m_newCdForm->mediaChanged();
    });
}

void Tmainform::topfindClick()
{
    m_findForm->setInitialBoxPath({});
    m_findForm->clearScope();
    const int kind = nodeKind(selectedNode());
    if (kind == catalog::BoxNode::LibraryRoot || kind == catalog::BoxNode::Box) {
        if (!m_list->selectedRows().empty()) {
            lvfindClick();
        } else {
            tvfindClick();
        }
        return;
    }
    m_findForm->addScopeEntry(
        {std::string(catalog::LibraryRootCaption), search::ScopeKind::Library});
    showFindForm();
}

// Shows the search dialog, then reports the run and shows its category.
void Tmainform::showFindForm()
{
    m_findForm->setLibraryRoot(m_libraryRoot, m_indexKeeper.get());
    m_findForm->exec();
    if (!m_findForm->done()) {
        return;
    }
    if (m_findForm->textPageActive()) {
        m_findTextGbk = m_findForm->searchTextGbk();
    }
    const search::SearchOutcome& outcome = m_findForm->outcome();
    if (outcome.hits == 0) {
        // The run has removed its empty category already.
        m_services.dialogs.message("没有找到相关光盘！", MessageIcon::Warning);
        return;
    }
    m_services.dialogs.message("找到 " + catalog::decimal(outcome.hits) + " 个相关光盘！",
                               MessageIcon::Information);
    QTreeWidgetItem* root = m_boxTree->topLevelItem(0);
    const std::string resultsPath = catalog::ResultsFolderName() + "\\";
    QTreeWidgetItem* results = findNodeByPath(resultsPath);
    if (results == nullptr) {
        results = new BoxTreeItem(catalog::ResultsFolderName(), catalog::BoxNode::ResultsFolder);
        root->addChild(results);
    }
    for (int i = 0; i < results->childCount(); ++i) {
        if (catalog::equalsNoCase(gbkOf(results->child(i)), outcome.categoryGbk)) {
            delete results->takeChild(i);
            break;
        }
    }
    auto* category = new BoxTreeItem(outcome.categoryGbk, catalog::BoxNode::Category);
    results->addChild(category);
    results->setExpanded(true);
    m_boxTree->setCurrentItem(category);
}

void Tmainform::topsetupClick()
{
    m_setupForm->setValues({m_libraryRoot, m_quietMode, m_saveLayoutOnExit});
    if (m_setupForm->exec() != QDialog::Accepted) {
        return;
    }
    const settings::SetupValues& values = m_setupForm->values();
    m_quietMode = values.quietMode;
    m_saveLayoutOnExit = values.saveLayoutOnExit;
    if (m_setupForm->libraryMoved()) {
        refreshLibrary();
    }
}

} // namespace app
