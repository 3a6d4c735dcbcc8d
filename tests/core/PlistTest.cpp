#include "format/Plist.h"

#include "support/PlistBytes.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <sys/stat.h>

namespace core::format {
namespace {

using testing_support::TempDir;
using testing_support::writeBytes;
using testing_support::xmlPlist;
using testing_support::xmlToBinaryPlist;

// A readable rendering of a tree, so that twins can be compared as text.
std::string describe(const PlistValue &value)
{
    struct Printer
    {
        std::string operator()(std::monostate) const { return "none"; }
        std::string operator()(bool b) const { return b ? "true" : "false"; }
        std::string operator()(std::int64_t i) const { return "int " + std::to_string(i); }
        std::string operator()(double d) const { return "real " + std::to_string(d); }
        std::string operator()(const std::string &s) const { return "\"" + s + "\""; }
        std::string operator()(const PlistDate &d) const
        {
            return "date " + std::to_string(d.unixSeconds) + "." + std::to_string(d.micros);
        }
        std::string operator()(const PlistData &d) const { return "data(" + std::to_string(d.size()) + ")"; }
        std::string operator()(const PlistArray &a) const
        {
            std::string out = "[";
            for (const auto &item : a) {
                out += describe(item) + ",";
            }
            return out + "]";
        }
        std::string operator()(const PlistDict &d) const
        {
            std::string out = "{";
            for (const auto &[key, item] : d) {
                out += key + ":" + describe(item) + ",";
            }
            return out + "}";
        }
    };
    return std::visit(Printer{}, value.v);
}

const std::string SampleBody = "<dict>"
                               "<key>zeta</key><string>caf&#233; &amp; more</string>"
                               "<key>alpha</key><integer>-1</integer>"
                               "<key>mid</key><real>3</real>"
                               "<key>count</key><integer>3</integer>"
                               "<key>flag</key><true/>"
                               "<key>epoch</key><date>2001-01-01T00:00:00Z</date>"
                               "<key>unix</key><date>1970-01-01T00:00:00Z</date>"
                               "<key>blob</key><data>AAEC</data>"
                               "<key>list</key><array><string>b</string><string>a</string><dict/></array>"
                               "</dict>";

TEST(PlistTest, XmlAndBinaryTwinsGiveTheSameTreeInFileOrder)
{
    const std::string xml = xmlPlist(SampleBody);
    const auto fromXml = readPlistMemory(xml);
    const auto fromBinary = readPlistMemory(xmlToBinaryPlist(xml));
    ASSERT_TRUE(fromXml.has_value());
    ASSERT_TRUE(fromBinary.has_value());

    const std::string expected = "{zeta:\"caf\xC3\xA9 & more\",alpha:int -1,mid:real 3.000000,count:int 3,"
                                 "flag:true,epoch:date 978307200.0,unix:date 0.0,blob:data(3),"
                                 "list:[\"b\",\"a\",{},],}";
    EXPECT_EQ(describe(*fromXml), expected);
    EXPECT_EQ(describe(*fromBinary), expected);

    // The same through files.
    TempDir tmp;
    const auto xmlFile = readPlistFile(writeBytes(tmp / "a.plist", xml));
    const auto binFile = readPlistFile(writeBytes(tmp / "b.plist", xmlToBinaryPlist(xml)));
    ASSERT_TRUE(xmlFile.has_value());
    ASSERT_TRUE(binFile.has_value());
    EXPECT_EQ(describe(*xmlFile), expected);
    EXPECT_EQ(describe(*binFile), expected);
}

TEST(PlistTest, TypedAccessorsAcceptOnlyTheirOwnTypes)
{
    const auto root = readPlistMemory(xmlPlist(SampleBody));
    ASSERT_TRUE(root.has_value());
    const auto *alpha = root->find("alpha");
    const auto *mid = root->find("mid");
    const auto *flag = root->find("flag");
    const auto *zeta = root->find("zeta");
    ASSERT_NE(alpha, nullptr);
    ASSERT_NE(mid, nullptr);
    ASSERT_NE(flag, nullptr);
    ASSERT_NE(zeta, nullptr);

    EXPECT_EQ(alpha->integer(), -1);
    EXPECT_EQ(alpha->real(), -1.0); // an integer is good enough for a real
    EXPECT_EQ(mid->integer(), std::nullopt); // a real is never an integer, even a whole one
    EXPECT_EQ(mid->real(), 3.0);
    EXPECT_EQ(flag->boolean(), true);
    EXPECT_EQ(flag->integer(), std::nullopt); // booleans are never numbers
    EXPECT_EQ(flag->real(), std::nullopt);
    EXPECT_EQ(root->find("count")->boolean(), std::nullopt);
    EXPECT_EQ(zeta->integer(), std::nullopt);
    EXPECT_EQ(zeta->date(), std::nullopt);
    EXPECT_EQ(zeta->array(), nullptr);
    EXPECT_EQ(root->find("epoch")->date()->unixSeconds, 978307200);
    EXPECT_EQ(root->find("nothing"), nullptr);
    EXPECT_EQ(zeta->find("anything"), nullptr); // find() on a non-dictionary
    EXPECT_EQ(*root->find("blob")->data(), (PlistData{ 0, 1, 2 }));
}

TEST(PlistTest, BrokenInputGivesNothing)
{
    const std::string xml = xmlPlist(SampleBody);
    const std::string binary = xmlToBinaryPlist(xml);
    EXPECT_FALSE(readPlistMemory(""));
    EXPECT_FALSE(readPlistMemory("garbage, not a property list"));
    EXPECT_FALSE(readPlistMemory(xml.substr(0, xml.size() / 2)));
    EXPECT_FALSE(readPlistMemory(binary.substr(0, binary.size() / 2)));
    EXPECT_FALSE(readPlistMemory("bplist00"));

    TempDir tmp;
    EXPECT_FALSE(readPlistFile(tmp / "missing.plist"));
    EXPECT_FALSE(readPlistFile(tmp.path())); // a directory
    EXPECT_FALSE(readPlistFile(writeBytes(tmp / "empty.plist", "")));
    EXPECT_FALSE(readPlistFile(writeBytes(tmp / "cut.plist", xml.substr(0, xml.size() - 20))));
}

TEST(PlistTest, FileErrorsNameThePathAndTheReason)
{
    TempDir tmp;
    const auto missing = loadPlistFile(tmp / "missing.plist");
    ASSERT_FALSE(missing.has_value());
    EXPECT_EQ(missing.error().code, ENOENT);
    EXPECT_EQ(missing.error().path, tmp / "missing.plist");

    // Larger than the cap: refused from its size alone (a sparse file costs no disk).
    const auto big = loadPlistFile(tmp.writeFile("big.plist", static_cast<std::int64_t>(MaxPlistFileSize) + 1, true));
    ASSERT_FALSE(big.has_value());
    EXPECT_EQ(big.error().message, "larger than 16 MiB");

    // A FIFO would block a plain read until a writer comes; it must be refused at once.
    const std::string fifo = tmp / "fifo.plist";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto pipe = loadPlistFile(fifo);
    ASSERT_FALSE(pipe.has_value());
    EXPECT_EQ(pipe.error().message, "not a regular file");

    const auto bad = loadPlistFile(writeBytes(tmp / "bad.plist", "<plist><array><string>x</array>"));
    ASSERT_FALSE(bad.has_value());
    EXPECT_EQ(bad.error().message, "not a valid property list");
}

TEST(PlistTest, DeepNestingIsRejectedWithoutCrashing)
{
    const auto nested = [](int depth) {
        std::string s;
        for (int i = 0; i < depth; ++i) {
            s += "<array>";
        }
        for (int i = 0; i < depth; ++i) {
            s += "</array>";
        }
        return xmlPlist(s);
    };
    EXPECT_TRUE(readPlistMemory(nested(50)).has_value());
    EXPECT_FALSE(readPlistMemory(nested(MaxPlistDepth + 10)).has_value());
    EXPECT_FALSE(readPlistMemory(nested(100000)).has_value());

    const std::string deepBinary = xmlToBinaryPlist(nested(MaxPlistDepth + 10));
    if (!deepBinary.empty()) {
        EXPECT_FALSE(readPlistMemory(deepBinary).has_value());
    }
}

} // namespace
} // namespace core::format
