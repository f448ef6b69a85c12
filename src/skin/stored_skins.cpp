#include "skin/stored_skins.h"

#include <QFile>

#include "core/exceptions.h"

void LoadStoredSkins(TSkinStore& store) {
  TSkinCollection& items = store.Store();
  items.Clear();
  // The store's items have always been numbered from 4.
  items.SetNextID(4);
  for (int n = 1; n <= StoredSkinCount; ++n) {
    const QString name = QStringLiteral(":/skins/skin%1.swk").arg(n);
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly)) throw Exception("The stored skin " + name.toStdString() + " is missing");
    const QByteArray bytes = file.readAll();
    TSkinCollectionItem& item = items.Add();
    item.Data().WriteBuffer(bytes.constData(), bytes.size());
    item.Data().SetPosition(0);
  }
}
