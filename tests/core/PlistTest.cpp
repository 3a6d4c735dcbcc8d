// SPDX-License-Identifier: GPL-3.0-or-later
#include "format/Plist.h"

#include "format/PlistShape.h"
#include "support/PlistBytes.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <limits>
#include <string>
#include <sys/stat.h>

namespace core::format {
namespace {

using testing_support::BinaryPlist;
using testing_support::TempDir;
using testing_support::writeBytes;
using testing_support::xmlPlist;
using testing_support::xmlToBinaryPlist;

// The readers with the largest limit any caller may give; the limits of
// the callers are tested where they read.
std::optional<PlistValue> readPlistMemory(std::string_view bytes)
{
    return core::format::readPlistMemory(bytes, MaxPlistNodes);
}
std::optional<PlistValue> readPlistFile(const std::string &path)
{
    return core::format::readPlistFile(path, MaxPlistNodes);
}
Result<PlistValue> loadPlistFile(const std::string &path)
{
    return core::format::loadPlistFile(path, MaxPlistNodes);
}

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

    // (Missing and cut files: FileErrorsNameThePathAndTheReason.)
    TempDir tmp;
    EXPECT_FALSE(readPlistFile(tmp.path())); // a directory
    EXPECT_FALSE(readPlistFile(writeBytes(tmp / "empty.plist", "")));
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

std::string nestedXml(int depth, const std::string &inner = "")
{
    std::string s;
    for (int i = 0; i < depth; ++i) {
        s += "<array>";
    }
    s += inner;
    for (int i = 0; i < depth; ++i) {
        s += "</array>";
    }
    return xmlPlist(s);
}

/// `depth` arrays, each holding the next one; the innermost is empty.
std::string nestedBinary(int depth)
{
    BinaryPlist plist;
    std::vector<BinaryPlist::Ref> arrays;
    for (int i = 0; i < depth; ++i) {
        arrays.push_back(plist.array());
    }
    for (int i = 0; i + 1 < depth; ++i) {
        plist.setItems(arrays[static_cast<std::size_t>(i)], { arrays[static_cast<std::size_t>(i) + 1] });
    }
    return plist.build(arrays.front());
}

TEST(PlistTest, NestingIsLimitedToMaxPlistDepthInBothForms)
{
    // The root is at depth 0: MaxPlistDepth + 1 arrays put the innermost exactly at the limit.
    EXPECT_TRUE(readPlistMemory(nestedXml(MaxPlistDepth + 1)).has_value());
    EXPECT_FALSE(readPlistMemory(nestedXml(MaxPlistDepth + 2)).has_value());
    EXPECT_FALSE(readPlistMemory(nestedXml(MaxPlistDepth + 1, "<true/>")).has_value()) << "a leaf one deeper";
    EXPECT_TRUE(readPlistMemory(nestedBinary(MaxPlistDepth + 1)).has_value());
    EXPECT_FALSE(readPlistMemory(nestedBinary(MaxPlistDepth + 2)).has_value());
    EXPECT_EQ(xmlToBinaryPlist(nestedXml(MaxPlistDepth + 1)), nestedBinary(MaxPlistDepth + 1))
        << "the hand-made binary form is the library's own";
}

TEST(PlistTest, DeepNestingIsRefusedBeforeTheLibraryRecursesIntoIt)
{
    // The library parses and frees one stack frame per level: these crashed the process.
    std::string unclosed;
    for (int i = 0; i < 200000; ++i) {
        unclosed += "<array>";
    }
    EXPECT_FALSE(readPlistMemory(unclosed).has_value());
    EXPECT_FALSE(readPlistMemory(nestedXml(200000)).has_value());
    EXPECT_FALSE(readPlistMemory(nestedBinary(120000)).has_value());

    // End tags the library does not read as end tags do not make the nesting look shallow.
    std::string hidden;
    for (int i = 0; i < 100000; ++i) {
        hidden += "<array><!-- </array> --><?pi </array> ?><!DOCTYPE x [</array>]>"
                  "<string><![CDATA[</array>]]></string>";
    }
    EXPECT_FALSE(readPlistMemory(xmlPlist(hidden)).has_value());
    std::string quoted;
    for (int i = 0; i < 200000; ++i) {
        quoted += "<array a=\"</array>\">";
    }
    EXPECT_FALSE(readPlistMemory(xmlPlist(quoted)).has_value());
}

TEST(PlistTest, OrdinaryXmlConstructsStillRead)
{
    const auto value = readPlistMemory("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                       "<!DOCTYPE plist [ <!ENTITY x \"</array>\"> ]>\n"
                                       "<plist version=\"1.0\"><!-- a comment with <array> in it --><dict>\n"
                                       "  <key>a</key><string>x<![CDATA[<y>]]>&amp;<!-- </dict> -->z</string>\n"
                                       "  <key>b</key><array/><key>c</key><array> <integer>1</integer> </array>\n"
                                       "</dict></plist>\n");
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(describe(*value), "{a:\"x<y>&z\",b:[],c:[int 1,],}");

    // Bytes after the end of the root are never read: a file padded with NULs still reads.
    EXPECT_TRUE(readPlistMemory(xmlPlist("<array><true/></array>") + std::string(8, '\0')).has_value());
}

TEST(PlistTest, SharedBinaryObjectsCountOncePerReference)
{
    // Each array refers to the next one twice: the library copies the shared
    // object for every reference, so n levels make 2^n nodes.
    const auto doubling = [](int levels) {
        BinaryPlist plist;
        std::vector<BinaryPlist::Ref> arrays;
        for (int i = 0; i <= levels; ++i) {
            arrays.push_back(plist.array());
        }
        for (int i = 0; i < levels; ++i) {
            const auto next = arrays[static_cast<std::size_t>(i) + 1];
            plist.setItems(arrays[static_cast<std::size_t>(i)], { next, next });
        }
        return plist.build(arrays.front());
    };
    const auto small = readPlistMemory(doubling(3));
    ASSERT_TRUE(small.has_value());
    EXPECT_EQ(describe(*small), "[[[[],[],],[[],[],],],[[[],[],],[[],[],],],]");
    EXPECT_TRUE(readPlistMemory(doubling(12)).has_value()); // 2^13 - 1 nodes
    ASSERT_FALSE(readPlistMemory(doubling(21)).has_value()) << "over MaxPlistNodes";

    // Each reader gives its own limit, counted the same way, the root included.
    EXPECT_TRUE(core::format::readPlistMemory(doubling(12), 8191).has_value());
    EXPECT_FALSE(core::format::readPlistMemory(doubling(12), 8190).has_value());
    EXPECT_FALSE(core::format::readPlistMemory(doubling(18), std::size_t{ 1 } << 14U).has_value());
    EXPECT_FALSE(core::format::readPlistMemory(doubling(20), std::size_t{ 1 } << 30U).has_value())
        << "no reader may allow more than MaxPlistNodes";
    EXPECT_TRUE(core::format::readPlistMemory(xmlPlist("<array><true/><true/></array>"), 3).has_value());
    EXPECT_FALSE(core::format::readPlistMemory(xmlPlist("<array><true/><true/></array>"), 2).has_value());
    EXPECT_FALSE(readPlistMemory(doubling(60)).has_value()) << "would never finish";

    // A long string shared by many references is copied for each of them.
    const auto sharedText = [](int references) {
        BinaryPlist plist;
        const auto text = plist.ascii(std::string(64 * 1024, 'x'));
        return plist.build(plist.array(std::vector<BinaryPlist::Ref>(static_cast<std::size_t>(references), text)));
    };
    EXPECT_TRUE(readPlistMemory(sharedText(100)).has_value());
    EXPECT_FALSE(readPlistMemory(sharedText(1000)).has_value()) << "64 MiB of text from a 64 KiB file";

    // The same cap for XML, counted in elements.
    std::string many;
    for (std::size_t i = 0; i < MaxPlistNodes; ++i) {
        many += "<true/>";
    }
    EXPECT_FALSE(readPlistMemory(xmlPlist("<array>" + many + "</array>")).has_value());
    EXPECT_TRUE(plistShapeAcceptable(xmlPlist("<array>" + many.substr(7) + "</array>"), MaxPlistNodes))
        << "exactly at the limit";

    // A cycle is refused (by the library too), and so is a reference to no object.
    BinaryPlist cycle;
    const auto a = cycle.array();
    const auto b = cycle.array({ a });
    cycle.setItems(a, { b });
    EXPECT_FALSE(readPlistMemory(cycle.build(a)).has_value());
    BinaryPlist dangling;
    const auto holder = dangling.array();
    dangling.setItems(holder, { 7 });
    EXPECT_FALSE(readPlistMemory(dangling.build(holder)).has_value());
}

TEST(PlistTest, ANulInAStringOrKeyRefusesTheDocument)
{
    using namespace std::string_literals;
    // XML: each of these aborted the process in the library or cut the text short.
    EXPECT_FALSE(readPlistMemory(xmlPlist("<string>a\0b</string>"s)).has_value());
    EXPECT_FALSE(readPlistMemory(xmlPlist("<dict><key>x\0y</key><string>v</string></dict>"s)).has_value());
    EXPECT_FALSE(readPlistMemory(xmlPlist("<array><string><![CDATA[a\0]]></string></array>"s)).has_value());
    EXPECT_FALSE(readPlistMemory(xmlPlist("<string>a&#0;b</string>")).has_value());

    // Binary: an ASCII string (the library cuts it at the NUL), UTF-16 U+0000
    // (the library aborts), and both as dictionary keys.
    const auto refused = [](const std::function<BinaryPlist::Ref(BinaryPlist &)> &make) {
        BinaryPlist plist;
        const auto top = make(plist);
        return !readPlistMemory(plist.build(top)).has_value();
    };
    EXPECT_TRUE(refused([](BinaryPlist &p) {
        return p.ascii("a\0\0"s);
    }));
    EXPECT_TRUE(refused([](BinaryPlist &p) {
        return p.utf16(u"\0"s);
    }));
    EXPECT_TRUE(refused([](BinaryPlist &p) {
        return p.array({ p.utf16(u"ab\0"s) });
    }));
    EXPECT_TRUE(refused([](BinaryPlist &p) {
        return p.dict({ { p.ascii("a\0b"s), p.integer(1) } });
    }));
    EXPECT_TRUE(refused([](BinaryPlist &p) {
        return p.dict({ { p.utf16(u"a\0"s), p.integer(1) } });
    }));
    EXPECT_TRUE(refused([](BinaryPlist &p) {
        return p.dict({ { p.integer(5), p.integer(1) } });
    })) << "a key that is not a string";

    // Other control characters are text like any other.
    BinaryPlist fine;
    const auto value = readPlistMemory(fine.build(fine.utf16(u"a\x01\u00e9")));
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(*value->string(), "a\x01\xC3\xA9");
}

TEST(PlistTest, ADuplicatedKeyMeansTheSameInBothForms)
{
    // The XML reader keeps one entry: first position, last value.
    const auto fromXml = readPlistMemory(xmlPlist("<dict><key>k</key><integer>1</integer><key>e</key>"
                                                  "<integer>3</integer><key>k</key><integer>2</integer></dict>"));
    BinaryPlist plist;
    const auto k = plist.ascii("k");
    const auto e = plist.ascii("e");
    const auto fromBinary = readPlistMemory(
        plist.build(plist.dict({ { k, plist.integer(1) }, { e, plist.integer(3) }, { k, plist.integer(2) } })));
    ASSERT_TRUE(fromXml.has_value());
    ASSERT_TRUE(fromBinary.has_value());
    EXPECT_EQ(describe(*fromXml), "{k:int 2,e:int 3,}");
    EXPECT_EQ(describe(*fromBinary), "{k:int 2,e:int 3,}");
    EXPECT_EQ(fromBinary->find("k")->integer(), 2);

    // Large dictionaries too (they are indexed rather than searched).
    BinaryPlist big;
    std::vector<std::pair<BinaryPlist::Ref, BinaryPlist::Ref>> entries;
    for (int i = 0; i < 40; ++i) {
        entries.emplace_back(big.ascii("key" + std::to_string(i % 30)), big.integer(i));
    }
    const auto wide = readPlistMemory(big.build(big.dict(entries)));
    ASSERT_TRUE(wide.has_value());
    EXPECT_EQ(wide->dict()->size(), 30U);
    EXPECT_EQ(wide->find("key3")->integer(), 33);
    EXPECT_EQ(wide->dict()->at(3).first, "key3");
    EXPECT_EQ(wide->find("key29")->integer(), 29);
}

TEST(PlistTest, ADateTheLibraryCannotRepresentHasNoFraction)
{
    // The library turns the seconds into int32 and leaves INT32_MIN as the microseconds.
    for (const double seconds : { 1e300, -1e300, std::numeric_limits<double>::quiet_NaN() }) {
        BinaryPlist plist;
        const auto value = readPlistMemory(plist.build(plist.date(seconds)));
        ASSERT_TRUE(value.has_value());
        ASSERT_TRUE(value->date().has_value());
        EXPECT_EQ(value->date()->micros, 0) << seconds;
    }
    BinaryPlist plist;
    const auto ordinary = readPlistMemory(plist.build(plist.date(-5.25)));
    EXPECT_EQ(ordinary->date()->unixSeconds, 978307200 - 5);
    EXPECT_EQ(ordinary->date()->micros, 250000);
}

} // namespace
} // namespace core::format
