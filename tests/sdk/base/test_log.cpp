// Joining the SDK's logging: a sink is called only from the moment it has
// joined, and a sink the bindings make joins only once it is whole.
#include "ZuLog.h"
#include "tarn/LogBinding.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Recorder : ZuLogSink
{
    std::vector<std::string> mMessages;
    void Log(ZuLogLevelEnum, const char *, uint32_t, const char *, const char *, const char *aMessage) override
    {
        mMessages.push_back(aMessage);
    }
};

void Say(const char *aMessage)
{
    ZuLogger logger(ZuString("test"));
    logger.SetLogPriority(ZuLogLevelDebug);
    logger.LogInfo("file", 1, "function", aMessage);
}

} // namespace

TEST(LogJoin, ASinkJoinsInItsConstructor)
{
    Recorder sink;
    Say("one");
    EXPECT_EQ(sink.mMessages, std::vector<std::string>{"one"});
}

TEST(LogJoin, ASinkMadeWhileDeferredJoinsOnlyWhenTold)
{
    std::unique_ptr<Recorder> sink;
    {
        tarn::DeferredLogJoin deferred;
        sink.reset(new Recorder);
        Say("before");
    }
    Say("still before");
    tarn::JoinLogging(*sink);
    tarn::JoinLogging(*sink); // once is enough: no second entry per message
    Say("after");
    EXPECT_EQ(sink->mMessages, std::vector<std::string>{"after"});
}

TEST(LogJoin, DeferringEndsWithItsOutermostScope)
{
    std::unique_ptr<Recorder> inner, outer;
    {
        tarn::DeferredLogJoin first;
        {
            tarn::DeferredLogJoin second;
            inner.reset(new Recorder);
        }
        outer.reset(new Recorder); // still deferred: the outer scope lives
    }
    Recorder plain; // deferring has ended on this thread
    Say("m");
    EXPECT_TRUE(inner->mMessages.empty());
    EXPECT_TRUE(outer->mMessages.empty());
    EXPECT_EQ(plain.mMessages, std::vector<std::string>{"m"});
}

TEST(LogJoin, ASinkThatNeverJoinedOrLeftIsNotCalled)
{
    {
        tarn::DeferredLogJoin deferred;
        Recorder never; // destroyed without joining
    }
    Recorder sink;
    tarn::LeaveLogging(sink);
    tarn::JoinLogging(sink); // a sink that left may join again
    Say("back");
    EXPECT_EQ(sink.mMessages, std::vector<std::string>{"back"});
}
