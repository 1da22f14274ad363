#include <QtTest>
#include "ui/TDownloadForm.h"
class SkeletonTest : public QObject { Q_OBJECT private slots: void builds() { TDownloadForm f; QVERIFY(!f.DownloadOk); } };
QTEST_MAIN(SkeletonTest)
#include "test_skeleton.moc"
