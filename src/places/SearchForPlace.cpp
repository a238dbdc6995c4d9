#include "places/SearchForPlace.h"

#include <QApplication>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>
#include <vector>

#include "places/DialogSupport.h"
#include "platform/Hourglass.h"
#include "platform/PromptSupport.h"
#include "service/TerraServiceSupport.h"
#include "settings/ListBoxSupport.h"

namespace quorvil {

namespace {

using TPlaceLine = TRecordListItem<PlaceFacts>;

const QString kNothingFound = QStringLiteral("<Nothing Found>");
const QString kTooMany = QStringLiteral("<Over 100 results returned.> <Try narrowing search.>");

QString PlaceLineText(const PlaceFacts& facts) {
  if (facts.Place == nullptr) return QStringLiteral(", , ");
  const Place& place = *facts.Place;
  return QString::fromStdString(place.City + ", " + place.State + ", " + place.Country);
}

}  // namespace

TfrmSearchForPlace::TfrmSearchForPlace(QWidget* parent)
    : QDialog(parent, kFixedDialogFlags),
      Label1(new QLabel("Enter the name of a place to search for:", this)),
      edtSearchString(new QLineEdit(this)),
      Label2(new QLabel("Results:   (Select place, then click Ok.)", this)),
      lbResults(new QListWidget(this)),
      actOk(new QAction("Ok", this)),
      btnOk(new QPushButton(this)),
      Cancel(new QPushButton("Cancel", this)),
      btnBeginSearch(new QPushButton("Search Now", this)) {
  setWindowTitle("Search For Place");
  setFixedSize(362, 336);
  QPalette colours = palette();
  colours.setColor(QPalette::Window, QColor(202, 214, 227));
  setPalette(colours);
  setAutoFillBackground(true);
  Label1->setBuddy(edtSearchString);
  Label2->setBuddy(lbResults);
  BindButtonToAction(*btnOk, *actOk);
  actOk->setEnabled(false);
  // The default button follows the focus of the search text alone.
  btnOk->setAutoDefault(false);
  btnBeginSearch->setAutoDefault(false);

  auto* searchRow = new QHBoxLayout;
  searchRow->addWidget(edtSearchString, 1);
  searchRow->addWidget(btnBeginSearch);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Label1);
  layout->addLayout(searchRow);
  layout->addWidget(Label2);
  layout->addWidget(lbResults, 1);
  layout->addLayout(ButtonRow({btnOk, Cancel}));
  SetTabOrder({edtSearchString, lbResults, btnOk, Cancel, btnBeginSearch});
  // Wider than designed only when the longer note line would need a horizontal scroll
  // bar in the font at hand (with room for the vertical bar of a full list).
  const QMargins margins = layout->contentsMargins();
  const int listWidth = lbResults->fontMetrics().horizontalAdvance(kTooMany) + 12 +
                        2 * lbResults->frameWidth() +
                        lbResults->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  SetFixedDialogSize(*this, std::max(362, listWidth + margins.left() + margins.right()), 336);

  CenterOnScreen(*this);
  edtSearchString->installEventFilter(this);
  SetDefaultButton(true);
  edtSearchString->setFocus();

  connect(btnBeginSearch, &QPushButton::clicked, this, &TfrmSearchForPlace::btnBeginSearchClick);
  connect(Cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(actOk, &QAction::triggered, this, &QDialog::accept);
  connect(lbResults, &QListWidget::itemSelectionChanged, this, &TfrmSearchForPlace::UpdateButtons);
  connect(lbResults, &QListWidget::itemDoubleClicked, this, [this] {
    UpdateButtons();
    actOk->trigger();  // a disabled action ignores it: note lines are never chosen
  });
}

TfrmSearchForPlace::~TfrmSearchForPlace() { FreeListBoxObjects(*lbResults); }

void TfrmSearchForPlace::btnBeginSearchClick() {
  // The service call waits in a local event loop, in which the user may click again.
  if (searching_ || closed_) return;
  searching_ = true;
  btnBeginSearch->setEnabled(false);
  const auto finished = [this] {
    searching_ = false;
    btnBeginSearch->setEnabled(true);
  };
  TScopedHourglass hourglass;
  FreeListBoxObjects(*lbResults);
  UpdateButtons();
  ArrayOfPlaceFacts places;
  try {
    places = ServiceGetPlaceList(edtSearchString->text().toStdString(), kMaxPlaceResults, true);
  } catch (const std::exception& error) {
    finished();
    ShowGeneralError(error);  // nothing for a declined retry: the list stays empty
    return;
  }
  finished();
  if (closed_) return;  // closed while waiting: the answers are dropped with `places`

  std::vector<std::pair<QString, std::unique_ptr<PlaceFacts>>> lines;
  lines.reserve(places.size());
  for (auto& facts : places) {
    if (facts != nullptr) lines.emplace_back(PlaceLineText(*facts), std::move(facts));
  }
  const QCollator collator = CaseBlindCollator();
  std::stable_sort(lines.begin(), lines.end(), [&collator](const auto& a, const auto& b) {
    return collator.compare(a.first, b.first) < 0;
  });
  for (auto& [text, facts] : lines) {
    // A place without a centre could not be shown, so its line carries no record.
    if (facts->Center == nullptr) {
      lbResults->addItem(text);
    } else {
      lbResults->addItem(new TPlaceLine(text, std::move(facts)));
    }
  }

  if (lbResults->count() > 0) {
    if (lbResults->count() >= kMaxPlaceResults) lbResults->addItem(kTooMany);
    lbResults->setFocus();
    lbResults->setCurrentRow(0);
    UpdateButtons();
  } else {
    lbResults->addItem(kNothingFound);
    edtSearchString->setFocus();
  }
}

const LonLatPt* TfrmSearchForPlace::SelectedCenter() const {
  const QList<QListWidgetItem*> selected = lbResults->selectedItems();
  if (selected.size() != 1) return nullptr;
  const PlaceFacts* facts = ListItemRecord<PlaceFacts>(selected.front());
  return facts != nullptr ? facts->Center.get() : nullptr;
}

void TfrmSearchForPlace::done(int result) {
  closed_ = true;
  // Cancel answers at once: the call on the wire ends quietly instead of being waited for.
  if (searching_) AbortServiceTransfers();
  QDialog::done(result);
}

bool TfrmSearchForPlace::eventFilter(QObject* watched, QEvent* event) {
  if (watched == edtSearchString &&
      (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut)) {
    SetDefaultButton(event->type() == QEvent::FocusIn);
    UpdateButtons();
  }
  return QDialog::eventFilter(watched, event);
}

void TfrmSearchForPlace::UpdateButtons() { actOk->setEnabled(SelectedCenter() != nullptr); }

void TfrmSearchForPlace::SetDefaultButton(bool searchTextFocused) {
  QPushButton* next = searchTextFocused ? btnBeginSearch : btnOk;
  QPushButton* previous = searchTextFocused ? btnOk : btnBeginSearch;
  previous->setDefault(false);
  next->setDefault(true);
}

bool ShowSearchForPlace(double& latitude, double& longitude) {
  latitude = 0;
  longitude = 0;
  TfrmSearchForPlace form(QApplication::activeWindow());
  if (form.exec() != QDialog::Accepted) return false;
  const LonLatPt* center = form.SelectedCenter();
  if (center == nullptr) return false;
  latitude = center->Lat;
  longitude = center->Lon;
  return true;
}

}  // namespace quorvil
