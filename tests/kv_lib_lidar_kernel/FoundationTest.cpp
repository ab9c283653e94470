// Reference counts, the IO's open count and hooks, locations, errors and allocation.

#include "Error.h"
#include "IO.h"
#include "LidarMemoryIO.h"
#include "OSError.h"
#include "XAlloc.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

using namespace Korvel;
using quarn_test::LidarMemoryIO;

TEST(KernelIO, HooksRunOnFirstOpenAndLastClose) {
    auto io = LidarMemoryIO::make({});
    io->open();
    io->open();
    EXPECT_EQ(io->openHooks, 1);
    io->close();
    EXPECT_EQ(io->closeHooks, 0);
    io->close();
    EXPECT_EQ(io->closeHooks, 1);
    // An unmatched close changes nothing; the next open runs the hook again.
    io->close();
    EXPECT_EQ(io->getOpenCount(), 0);
    io->open();
    EXPECT_EQ(io->openHooks, 2);
    io->close();
}

TEST(KernelIO, FailingOpenHookLeavesCountAndMutexFree) {
    auto io = LidarMemoryIO::make({});
    io->failOpen = true;
    EXPECT_THROW(io->open(), Error);
    EXPECT_EQ(io->getOpenCount(), 0);
    io->failOpen = false;
    io->open(); // would deadlock had the failed open kept the mutex
    EXPECT_EQ(io->getOpenCount(), 1);
    io->close();
}

TEST(KernelIO, LocationHoldsOneReferencePerIO) {
    auto a = LidarMemoryIO::make({});
    auto b = LidarMemoryIO::make({});
    {
        IO::Location location(a.get(), 10, 20);
        EXPECT_EQ(a->getReferenceCount(), 2u);
        location.set(a.get(), 30, 40); // same IO: no new reference
        EXPECT_EQ(a->getReferenceCount(), 2u);
        IO::Location copy = location;
        EXPECT_EQ(a->getReferenceCount(), 3u);
        copy = IO::Location(b.get(), 0, 1);
        EXPECT_EQ(a->getReferenceCount(), 2u);
        EXPECT_EQ(b->getReferenceCount(), 2u);
    }
    EXPECT_EQ(a->getReferenceCount(), 1u);
    EXPECT_EQ(b->getReferenceCount(), 1u);
}

TEST(KernelError, RecordsWhereAndWhatAndCutsLongMessages) {
    Error error = Error::make("/src/kernel/RTree.cpp", "Korvel::MemoryRTree::load", 42, 40014,
                              "bad read -- %s length", "key");
    EXPECT_STREQ(error.what(), "bad read -- key length");
    EXPECT_STREQ(error.getFile(), "RTree.cpp");
    EXPECT_EQ(error.getCode(), 40014u);
    EXPECT_STREQ(Error("c:\\dev\\Base.cpp", "f", 1, 2).getFile(), "Base.cpp");
    EXPECT_STREQ(Error("Metadata", "f", 1, 2).getFile(), "Metadata");

    const std::string longText(1500, 'x');
    Error cut("Base", "f", 1, 2);
    cut.appendMessage("%s", longText.c_str());
    cut.appendMessage("more");
    EXPECT_EQ(std::strlen(cut.what()), 1023u);
    Error copy = cut; // copies the whole message
    EXPECT_STREQ(copy.what(), cut.what());
}

TEST(KernelError, OSErrorCarriesTheSystemText) {
    OSError error("Base", "XALLOC", 7, ENOMEM);
    EXPECT_EQ(error.getCode(), static_cast<std::uint32_t>(ENOMEM));
    EXPECT_STREQ(error.what(), std::strerror(ENOMEM));
    errno = ENOENT;
    EXPECT_STREQ(OSError("Base", "f", 1).what(), std::strerror(ENOENT));
}

TEST(KernelAlloc, HugeAllocationThrowsOSError) {
    try {
        XALLOC(static_cast<std::size_t>(-1));
        FAIL() << "no exception";
    } catch (const OSError& error) {
        EXPECT_STREQ(error.getFunction(), "XALLOC");
        EXPECT_EQ(error.getCode(), static_cast<std::uint32_t>(ENOMEM));
    }
}
