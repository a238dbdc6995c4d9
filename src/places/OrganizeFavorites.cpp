#include "places/OrganizeFavorites.h"

#include <QApplication>
#include <QGridLayout>
#include <QKeyEvent>
#include <QVBoxLayout>
#include <string>
#include <vector>

#include "places/DialogSupport.h"
#include "places/FavoriteProperties.h"
#include "places/FavoriteSupport.h"
#include "platform/PromptSupport.h"

namespace quorvil {

TfrmOrganizeFavorites::TfrmOrganizeFavorites(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint),
      ListBox1(new QListWidget(this)),
      actDelete(new QAction("Delete", this)),
      actProperties(new QAction("Properties", this)),
      Button1(new QPushButton(this)),
      Button2(new QPushButton(this)),
      Button3(new QPushButton("Close", this)),
      PopupMenu1(new QMenu(this)) {
  setWindowTitle("Organize Favorites");
  resize(349, 319);
  CenterOnScreen(*this);
  BindButtonToAction(*Button1, *actDelete);
  BindButtonToAction(*Button2, *actProperties);
  PopupMenu1->addAction(actProperties);
  PopupMenu1->addAction(actDelete);
  PopupMenu1->setDefaultAction(actProperties);
  ListBox1->setContextMenuPolicy(Qt::CustomContextMenu);
  ListBox1->installEventFilter(this);
  // Shown in the menu; the keys themselves are read by the list's filter.
  actDelete->setShortcut(QKeySequence(Qt::Key_Delete));
  actProperties->setShortcut(QKeySequence(Qt::Key_F2));
  for (QAction* action : {actDelete, actProperties}) {
    action->setShortcutContext(Qt::WidgetShortcut);
  }

  auto* buttons = new QVBoxLayout;
  for (QPushButton* button : {Button1, Button2, Button3}) buttons->addWidget(button);
  buttons->addStretch();
  auto* layout = new QGridLayout(this);
  layout->addWidget(ListBox1, 0, 0);
  layout->addLayout(buttons, 0, 1);
  SetTabOrder({ListBox1, Button1, Button2, Button3});

  connect(actDelete, &QAction::triggered, this, &TfrmOrganizeFavorites::actDeleteExecute);
  connect(actProperties, &QAction::triggered, this, &TfrmOrganizeFavorites::actPropertiesExecute);
  connect(Button3, &QPushButton::clicked, this, &QDialog::accept);
  connect(ListBox1, &QListWidget::itemSelectionChanged, this,
          &TfrmOrganizeFavorites::UpdateActions);
  connect(ListBox1, &QListWidget::itemDoubleClicked, actProperties, &QAction::trigger);
  connect(ListBox1, &QWidget::customContextMenuRequested, this, [this](const QPoint& where) {
    PopupMenu1->popup(ListBox1->viewport()->mapToGlobal(where));
  });

  Refill();
}

bool TfrmOrganizeFavorites::eventFilter(QObject* watched, QEvent* event) {
  // Overridden as well, so that the list does not take the keys first.
  if (watched == ListBox1 &&
      (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride)) {
    const auto* key = static_cast<QKeyEvent*>(event);
    QAction* action = nullptr;
    if (key->modifiers() == Qt::NoModifier || key->modifiers() == Qt::KeypadModifier) {
      switch (key->key()) {
        case Qt::Key_Delete:
          action = actDelete;
          break;
        case Qt::Key_F2:
        case Qt::Key_Return:
        case Qt::Key_Enter:
          action = actProperties;
          break;
        default:
          break;
      }
    }
    if (action) {
      event->accept();
      if (event->type() == QEvent::KeyPress && action->isEnabled()) action->trigger();
      return event->type() == QEvent::KeyPress;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TfrmOrganizeFavorites::Refill() {
  std::vector<std::string> stored;
  GetFavoriteNames(stored);
  QStringList names;
  for (const std::string& name : stored) names.append(QString::fromStdString(name));
  SortWithoutCase(names);
  ListBox1->clear();
  ListBox1->addItems(names);
  if (ListBox1->count() > 0) ListBox1->setCurrentRow(0);
  UpdateActions();
}

void TfrmOrganizeFavorites::UpdateActions() {
  const bool selected = !ListBox1->selectedItems().isEmpty();
  actDelete->setEnabled(selected);
  actProperties->setEnabled(selected);
}

QString TfrmOrganizeFavorites::SelectedName() const {
  const QList<QListWidgetItem*> selected = ListBox1->selectedItems();
  return selected.isEmpty() ? QString() : selected.front()->text();
}

void TfrmOrganizeFavorites::actDeleteExecute() {
  const QString name = SelectedName();
  if (name.isEmpty()) return;
  if (!AskYesNo(TPromptKind::pkConfirmation, "",
                "Are you sure you want to delete this favorite?")) {
    return;
  }
  ReportErrors([&] { DeleteFavorite(name.toStdString()); });
  Refill();
}

void TfrmOrganizeFavorites::actPropertiesExecute() {
  const QString name = SelectedName();
  if (name.isEmpty()) return;
  ReportErrors([&] {
    // The level and coordinates are not used: edit mode reads the stored favourite.
    if (ShowFavoriteProperties(true, name.toStdString(), kMinZoomLevel, 0, 0)) Refill();
  });
}

void ShowOrganizeFavorites() {
  TfrmOrganizeFavorites form(QApplication::activeWindow());
  form.exec();
}

}  // namespace quorvil
