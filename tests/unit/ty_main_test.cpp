// The main procedure as far as it goes: lock, module path, package.
#include "ty_main.h"
#include "ty_test_support.h"

class RunSetupTest : public ProductTest {};

TEST_F(RunSetupTest, OpensAGoodPackageAndReturnsZero) {
    std::vector<WriterRecord> records(1);
    ASSERT_TRUE(makeBzip2Record("welcome.bmp", bmpFile(4, 4, 24), &records[0]));
    records.push_back(makeStoredRecord("licence.txt", textBytes("Licence.")));
    standinSetModulePath(writeFile("TYInstaller.exe", writePackage(stubBytes(114688), 46, records)).c_str());
    int result = 99;
    expectQuiet(runProduct([&] { result = runSetup(NULL); }));
    EXPECT_EQ(result, 0);
    EXPECT_EQ(setupState.package, nullptr);
    EXPECT_EQ(standinOpenDescriptorCount(), 0);
}

TEST_F(RunSetupTest, AnotherInstallerHoldingTheLockEndsWithMinusOne) {
    standinHoldSemaphore(TY_LOCK_NAME);
    int result = 99;
    ProductRun run = runProduct([&] { result = runSetup(NULL); });
    EXPECT_FALSE(run.exited);
    EXPECT_EQ(result, -1);
    ASSERT_EQ(standinMessageBoxes().size(), 1u) << describeBoxes();
    const StandinMessageBox &box = standinMessageBoxes()[0];
    EXPECT_EQ(box.text, "Another Tessaly installer, un-installer or updater is running.\nPlease wait "
                        "until it completes or interrupt it before trying to install or update this "
                        "product.");
    EXPECT_EQ(box.caption, "Tessaly Installer / Updater");
    EXPECT_EQ(box.style, MB_ICONWARNING);
    EXPECT_EQ(standinOpenHandleCount(), 0);
    EXPECT_EQ(standinSemaphoreCount(TY_LOCK_NAME), 0);  // the other one's still
}
