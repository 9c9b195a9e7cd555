#include "text/XMLParserLibXml2.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "common/FilePath.h"
#include "common/Messages.h"
#include "common/WideText.h"
#include "common/myexception.h"
#include "support/TestSupport.h"

namespace {

/// Writes bytes to a file in dir and returns its path in the program's form ("\" separators).
std::wstring WriteFile(const TemporaryDirectory& dir, const std::string& name, const std::string& bytes) {
    std::ofstream(dir.Path() + "/" + name, std::ios::binary) << bytes;
    return FromNativePath(dir.Path()) + L"\\" + FromUtf8(name);
}

std::wstring DataPath(const char* name) {
    return FromUtf8(std::string(KIVARO_SOURCE_DIR "/tests/data/text/") + name);
}

/// The message of the file_error a load throws ("" when it loads).
std::wstring LoadFailure(const std::wstring& path) {
    XMLParserLibXml2 parser;
    try {
        parser.load(path);
    } catch (const file_error& error) {
        return error.message();
    }
    return std::wstring();
}

std::wstring FailurePrefix(const std::wstring& path) {
    return CommonMessage(110) + L"[" + path + L"]\r\n";
}

const XMLElement& Child(const XMLElement& element, std::size_t index) {
    EXPECT_LT(index, element.GetChildren().size());
    return *element.GetChildren().at(index);
}

TEST(XMLParserTest, TreeHoldsElementsAttributesAndDescendantText) {
    ScopedLogCapture log;
    TemporaryDirectory dir;
    const std::wstring path = WriteFile(dir, "tree.xml", R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE Field [
  <!ENTITY maker "Kivaro &amp; friends">
]>
<!-- before the root -->
<Field format="110" date="2004" maker="&maker;" escaped="a&lt;b&#x3042;">
  <!-- a comment between children -->
  <Information xml:lang="ja" name="ボール"/>
  <Const name="k" type="float">  1 + 2  </Const>
  <?processing instruction?>
  <Item name="a">text <b>bold</b> tail<![CDATA[ <raw> ]]>&maker;</Item>
  <Empty/>
</Field>
)");
    XMLParserLibXml2 parser;
    const std::unique_ptr<XMLElement> root = parser.load(path);
    ASSERT_NE(root, nullptr);

    // the root with its attributes, entity references expanded
    EXPECT_EQ(root->GetName(), L"Field");
    EXPECT_EQ(root->GetAttribute(L"format"), L"110");
    EXPECT_EQ(root->GetAttribute(L"maker"), L"Kivaro & friends");
    EXPECT_EQ(root->GetAttribute(L"escaped"), L"a<b\u3042");
    EXPECT_EQ(root->GetAttribute(L"absent"), L"");

    // element children only: comments, white space and the instruction are not children
    ASSERT_EQ(root->GetChildren().size(), 4u);
    EXPECT_EQ(std::distance(root->ChildrenBegin(), root->ChildrenEnd()), 4);
    const XMLElement& information = Child(*root, 0);
    EXPECT_EQ(information.GetName(), L"Information");
    EXPECT_EQ(information.GetAttribute(L"xml:lang"), L"ja");
    EXPECT_EQ(information.GetAttribute(L"name"), L"ボール");
    EXPECT_EQ(information.GetText(), L"");

    // text without leading or trailing white space; descendants' text included
    EXPECT_EQ(Child(*root, 1).GetText(), L"1 + 2");
    const XMLElement& item = Child(*root, 2);
    EXPECT_EQ(item.GetText(), L"text bold tail <raw> Kivaro & friends");
    ASSERT_EQ(item.GetChildren().size(), 1u);
    EXPECT_EQ(Child(item, 0).GetName(), L"b");
    EXPECT_EQ(Child(item, 0).GetText(), L"bold");

    const XMLElement& empty = Child(*root, 3);
    EXPECT_TRUE(empty.GetAttributes().empty());
    EXPECT_EQ(empty.GetAttribute(L"name"), L"");
    EXPECT_TRUE(empty.GetChildren().empty());

    EXPECT_EQ(root->GetText(), L"1 + 2  text bold tail <raw> Kivaro & friends");
}

TEST(XMLParserTest, ElementEditingAndOwnership) {
    XMLElement element;
    element.SetName(L"Ref");
    element.SetAttribute(L"name", L"a");
    element.SetAttribute(L"name", L"b"); // replaces
    element.SetText(L"text");
    auto child = std::make_unique<XMLElement>();
    child->SetName(L"Parameter");
    element.AddChild(std::move(child));
    EXPECT_EQ(element.GetName(), L"Ref");
    EXPECT_EQ(element.GetAttribute(L"name"), L"b");
    EXPECT_EQ(element.GetAttributes().size(), 1u);
    EXPECT_EQ(element.GetText(), L"text");
    ASSERT_EQ(element.GetChildren().size(), 1u);
    EXPECT_EQ((*element.ChildrenBegin())->GetName(), L"Parameter");
}

TEST(XMLParserTest, MalformedDocumentReportsReasonPositionCodeAndSourceLine) {
    ScopedLogCapture log(4, true);
    TemporaryDirectory dir;
    const std::wstring path =
        WriteFile(dir, "broken.xml", "<?xml version=\"1.0\"?>\n<root>\n\t<b>x</c>\n</root>\n");
    const std::wstring message = LoadFailure(path);

    // failure text, path, then libxml2's reason ending in a line break
    const std::wstring prefix = FailurePrefix(path);
    ASSERT_EQ(message.substr(0, prefix.size()), prefix) << message;
    const std::size_t lineLabel = message.find(CommonMessage(112));
    ASSERT_NE(lineLabel, std::wstring::npos) << message;
    const std::wstring reason = message.substr(prefix.size(), lineLabel - prefix.size());
    EXPECT_NE(reason.find(L"mismatch"), std::wstring::npos) << reason;
    EXPECT_EQ(reason.substr(reason.size() - 2), L"\r\n");

    // line 3, a column on it, the mismatch code 76 in lower-case hexadecimal, the line with
    // its tab expanded to four blanks
    const std::wstring position = message.substr(lineLabel);
    const std::wstring expectedStart = CommonMessage(112) + L"3" + CommonMessage(113);
    EXPECT_EQ(position.substr(0, expectedStart.size()), expectedStart) << position;
    const std::wstring expectedEnd = CommonMessage(114) + L"4c\r\n>     <b>x</c>";
    ASSERT_GE(position.size(), expectedEnd.size());
    EXPECT_EQ(position.substr(position.size() - expectedEnd.size()), expectedEnd) << position;
    const std::wstring column =
        position.substr(expectedStart.size(), position.size() - expectedEnd.size() - expectedStart.size());
    ASSERT_FALSE(column.empty());
    EXPECT_EQ(column.find_first_not_of(L"0123456789"), std::wstring::npos) << column;
    EXPECT_GT(std::stoi(column), 0);

    // one level-1 record naming the path and carrying the same error text
    const auto errors = log.Writer().Errors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].message,
              L"XML:get_documentElement失敗(" + path + L")[" + message.substr(prefix.size()));
}

TEST(XMLParserTest, MissingUnreadableAndEmptyFilesFailLikeMalformedOnes) {
    ScopedLogCapture log(4, true);
    TemporaryDirectory dir;

    // a missing file: no position, the load-error code, an empty source line
    const std::wstring missing = FromNativePath(dir.Path()) + L"\\no such.xml";
    const std::wstring message = LoadFailure(missing);
    const std::wstring tail =
        CommonMessage(112) + L"0" + CommonMessage(113) + L"0" + CommonMessage(114) + L"60d\r\n> ";
    ASSERT_EQ(message.substr(0, FailurePrefix(missing).size()), FailurePrefix(missing)) << message;
    ASSERT_GE(message.size(), tail.size());
    EXPECT_EQ(message.substr(message.size() - tail.size()), tail) << message;
    EXPECT_NE(message.find(L"No such file"), std::wstring::npos) << message;

    // a directory, an empty file, a truncated document
    EXPECT_EQ(
        LoadFailure(FromNativePath(dir.Path())).substr(0, FailurePrefix(FromNativePath(dir.Path())).size()),
        FailurePrefix(FromNativePath(dir.Path())));
    const std::wstring empty = WriteFile(dir, "empty.xml", "");
    EXPECT_EQ(LoadFailure(empty).substr(0, FailurePrefix(empty).size()), FailurePrefix(empty));
    const std::wstring truncated =
        WriteFile(dir, "truncated.xml", "<?xml version=\"1.0\"?>\n<Field format=\"1");
    EXPECT_NE(LoadFailure(truncated).find(CommonMessage(112) + L"2"), std::wstring::npos);

    // a named pipe with no writer fails at once instead of waiting for data
    ASSERT_EQ(mkfifo((dir.Path() + "/pipe.wtf").c_str(), 0600), 0);
    const std::wstring pipe = FromNativePath(dir.Path()) + L"\\pipe.wtf";
    EXPECT_EQ(LoadFailure(pipe).substr(0, FailurePrefix(pipe).size()), FailurePrefix(pipe));
    EXPECT_EQ(log.Writer().Errors().size(), 5u);
}

TEST(XMLParserTest, JapaneseEncodingsLoadWithTheirValuesIntact) {
    ScopedLogCapture log;
    XMLParserLibXml2 parser;
    for (const char* name : {"ball_utf8.wtf", "ball_sjis.wtf", "ball_eucjp.wtf", "ball_utf16.wtf"}) {
        SCOPED_TRACE(name);
        const std::unique_ptr<XMLElement> root = parser.load(DataPath(name));
        ASSERT_EQ(root->GetName(), L"Field");
        ASSERT_EQ(root->GetChildren().size(), 4u);
        const XMLElement& japanese = Child(*root, 0);
        EXPECT_EQ(japanese.GetAttribute(L"name"), L"ボール");
        EXPECT_EQ(japanese.GetAttribute(L"author"), L"山田太郎");
        // the EUC-JP copy lacks the circled digit, which only code page 932 has
        const std::wstring comment = japanese.GetAttribute(L"comment");
        EXPECT_EQ(comment.substr(0, 7), L"転がる球です。");
        if (std::string(name) != "ball_eucjp.wtf") {
            EXPECT_EQ(comment, L"転がる球です。\u2460");
        }
        const XMLElement& item = Child(*root, 3);
        EXPECT_EQ(item.GetAttribute(L"name"), L"ボール1");
        ASSERT_EQ(item.GetChildren().size(), 2u);
        EXPECT_EQ(Child(item, 0).GetText(), L"\"data\\ball.png\"");
        EXPECT_EQ(Child(item, 1).GetText(), L"0,r*2,0");
    }
}

TEST(XMLParserTest, HostileDocumentsFailWithoutHarm) {
    ScopedLogCapture log(4, true);
    TemporaryDirectory dir;

    // exponential entity expansion, in content and in an attribute
    std::string laughs = "<?xml version=\"1.0\"?>\n<!DOCTYPE lolz [\n <!ENTITY lol \"lol\">\n";
    for (int i = 1; i <= 9; ++i) {
        std::string previous = i == 1 ? "lol" : "lol" + std::to_string(i - 1);
        laughs += " <!ENTITY lol" + std::to_string(i) + " \"";
        for (int k = 0; k < 10; ++k) {
            laughs += "&" + previous + ";";
        }
        laughs += "\">\n";
    }
    const std::wstring inContent = WriteFile(dir, "laughs.xml", laughs + "]>\n<lolz>&lol9;</lolz>\n");
    EXPECT_NE(LoadFailure(inContent).find(CommonMessage(112)), std::wstring::npos);
    const std::wstring inAttribute = WriteFile(dir, "laughs2.xml", laughs + "]>\n<lolz a=\"&lol9;\"/>\n");
    EXPECT_NE(LoadFailure(inAttribute).find(CommonMessage(112)), std::wstring::npos);

    // external entities and DTDs naming a local file are never read
    WriteFile(dir, "secret.txt", "TOPSECRET");
    WriteFile(dir, "secret.dtd", "<!ENTITY leak \"TOPSECRET\">");
    const std::string secretUrl = "file://" + dir.Path() + "/secret.txt";
    const std::wstring external = WriteFile(
        dir, "external.xml", "<!DOCTYPE a [<!ENTITY e SYSTEM \"" + secretUrl + "\">]>\n<a>&e;</a>\n");
    const std::wstring externalMessage = LoadFailure(external);
    EXPECT_NE(externalMessage.find(L"external entity 'e'"), std::wstring::npos) << externalMessage;
    EXPECT_EQ(externalMessage.find(L"TOPSECRET"), std::wstring::npos);
    const std::wstring relative =
        WriteFile(dir, "relative.xml", "<!DOCTYPE a [<!ENTITY e SYSTEM \"secret.txt\">]>\n<a>&e;</a>\n");
    EXPECT_FALSE(LoadFailure(relative).empty());
    const std::wstring externalDtd =
        WriteFile(dir, "dtd.xml", "<!DOCTYPE a SYSTEM \"secret.dtd\">\n<a>&leak;</a>\n");
    const std::wstring dtdMessage = LoadFailure(externalDtd);
    EXPECT_FALSE(dtdMessage.empty());
    EXPECT_EQ(dtdMessage.find(L"TOPSECRET"), std::wstring::npos);
    // a parameter entity naming the file is not read either: the document loads without it
    const std::wstring parameter =
        WriteFile(dir, "parameter.xml",
                  "<!DOCTYPE a [<!ENTITY % p SYSTEM \"" + secretUrl + "\"> %p;]>\n<a x=\"1\">t</a>\n");
    XMLParserLibXml2 parser;
    const std::unique_ptr<XMLElement> root = parser.load(parameter);
    EXPECT_EQ(root->GetText(), L"t");
    EXPECT_EQ(root->GetAttribute(L"x"), L"1");

    // 10 000 nested elements
    std::string deep;
    for (int i = 0; i < 10000; ++i) {
        deep += "<a>";
    }
    for (int i = 0; i < 10000; ++i) {
        deep += "</a>";
    }
    const std::wstring deepPath = WriteFile(dir, "deep.xml", deep);
    const std::wstring deepMessage = LoadFailure(deepPath);
    EXPECT_NE(deepMessage.find(CommonMessage(114)), std::wstring::npos);
    // the quoted part of the offending (here single, 70 000-character) line stays short
    EXPECT_LT(deepMessage.size(), 1000u);
}

TEST(XMLParserTest, DocumentsPastTheNodeBoundStopWhileParsed) {
    ScopedLogCapture log(4, true);
    TemporaryDirectory dir;
    constexpr std::size_t kBound = XMLParserLibXml2::kMaxNodes;

    // one element and one line-break text node a line: half the bound loads whole
    auto lines = [](std::size_t count) {
        std::string text = "<r>\n";
        for (std::size_t i = 0; i < count; ++i) {
            text += "<a/>\n";
        }
        return text + "</r>\n";
    };
    XMLParserLibXml2 parser;
    EXPECT_EQ(parser.load(WriteFile(dir, "half.xml", lines(kBound / 2 - 10)))->GetChildren().size(),
              kBound / 2 - 10);

    // ten times the bound is refused at the line where the bound was passed, not at the end
    const std::wstring message = LoadFailure(WriteFile(dir, "many.xml", lines(kBound * 10)));
    EXPECT_NE(message.find(L"more than " + std::to_wstring(kBound) + L" nodes"), std::wstring::npos)
        << message;
    const std::size_t lineAt = message.find(CommonMessage(112));
    ASSERT_NE(lineAt, std::wstring::npos);
    const long line = std::wcstol(message.c_str() + lineAt + CommonMessage(112).size(), nullptr, 10);
    EXPECT_GT(line, static_cast<long>(kBound / 2 - 10));
    EXPECT_LT(line, static_cast<long>(kBound / 2 + 10));

    // text past its bound is refused while parsed as well, in content or in attributes
    const std::string half(XMLParserLibXml2::kMaxTreeText / 2 + 1, 'x');
    const std::wstring textMessage =
        LoadFailure(WriteFile(dir, "text.xml", "<r><a>" + half + "</a><a b='" + half + "'/></r>"));
    EXPECT_NE(textMessage.find(L"bytes of text"), std::wstring::npos) << textMessage.substr(0, 300);
}

TEST(XMLParserTest, ThreadsLoadAtTheSameTime) {
    ScopedLogCapture log(4, true);
    TemporaryDirectory dir;
    const std::wstring broken = WriteFile(dir, "broken.xml", "<a><b></a>");
    std::atomic<int> loaded = 0;
    std::atomic<int> failed = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            XMLParserLibXml2 parser;
            for (int i = 0; i < 25; ++i) {
                if (parser.load(DataPath("ball_sjis.wtf"))->GetChildren().size() == 4) {
                    ++loaded;
                }
                if (LoadFailure(broken).find(L"mismatch") != std::wstring::npos) {
                    ++failed;
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(loaded, 100);
    EXPECT_EQ(failed, 100);
}

TEST(XMLParserTest, BackslashPathsReachTheFile) {
    ScopedLogCapture log;
    TemporaryDirectory dir;
    std::filesystem::create_directory(dir.Path() + "/items");
    std::ofstream(dir.Path() + "/items/a.wti", std::ios::binary) << "<FieldItem name=\"a\" format=\"110\"/>";
    XMLParserLibXml2 parser;
    const std::unique_ptr<XMLElement> root = parser.load(FromNativePath(dir.Path()) + L"\\items\\a.wti");
    EXPECT_EQ(root->GetName(), L"FieldItem");
    EXPECT_EQ(root->GetAttribute(L"name"), L"a");
}

} // namespace
