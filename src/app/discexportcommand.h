#pragma once

#include <QString>

class MenuDocument;
class QWidget;

// File > "Export disc menu...": asks for a folder (starting in `folder`, which is set to
// the chosen one) and exports into it.
void DiscMenuExportClick(QWidget* parent, const MenuDocument& doc, QString& folder);

// Exports the disc menu into `folder` under the busy cursor (after asking, when the folder
// holds files of an earlier export, whether to replace them) and shows one box: the files
// written and, when spumux could not finish, why and how to finish by hand; or the error.
void ExportDiscMenuTo(QWidget* parent, const MenuDocument& doc, const QString& folder);
