#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextList>

#include "core/rtf/plain_text.h"
#include "core/rtf/rtf_pieces.h"
#include "core/text/cp936.h"
#include "rtf/rtf_document.h"
#include "rtf_test_util.h"

namespace zorbek {
namespace {

using namespace zorbek::testing;

bool Contains(const std::string& text, const char* part) {
  return text.find(part) != std::string::npos;
}

// Where two long texts part, with a little context, instead of both texts whole.
std::string FirstDifference(const std::string& a, const std::string& b) {
  std::size_t i = 0;
  while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
  if (i == a.size() && i == b.size()) return {};
  const std::size_t from = i > 40 ? i - 40 : 0;
  return "at byte " + std::to_string(i) + ": [" + a.substr(from, 80) + "] vs [" + b.substr(from, 80) + "]";
}

QStringList AllTestFiles() {
  QStringList files;
  for (const char* dir : {"richedit", "other-writers", "generated"}) {
    const QDir d(QString::fromStdString(RtfTestFile(dir)));
    for (const QString& name : d.entryList({"*.rtf"}, QDir::Files, QDir::Name))
      files << QString::fromLatin1(dir) + "/" + name;
  }
  return files;
}

TEST(RtfReaderFiles, EveryFileLoadsWithoutUndecodableText) {
  const QStringList files = AllTestFiles();
  ASSERT_EQ(files.size(), 47);
  for (const QString& file : files) {
    SCOPED_TRACE(file.toStdString());
    bool complete = false;
    auto doc = ReadTestFile(file.toStdString(), &complete);
    const std::string text = Text(*doc);
    EXPECT_FALSE(text.empty());
    EXPECT_FALSE(Contains(text, "\xEF\xBF\xBD")) << text;  // no U+FFFD from a wrong code page
    EXPECT_TRUE(complete);  // the damaged file's braces balance; its font table never ends
  }
}

TEST(RtfReaderFiles, HexBytesDecodedByTheCodePageOfTheFont) {
  // The same note written under a Chinese and under an English system locale.
  const std::string zh = Text(*ReadTestFile("generated/wine8-riched20_zh_basic_char_formatting.rtf"));
  EXPECT_EQ(Text(*ReadTestFile("generated/wine8-riched20_zh_basic_char_formatting_cp1252_locale.rtf")), zh);
  EXPECT_TRUE(Contains(zh, "读书笔记：二〇二四年三月\n今天整理了上周的会议记录，共三页。"));
  EXPECT_TRUE(Contains(zh, "标点测试：，。、；：？！“”‘’（）《》【】……——·"));

  const std::string mixed = Text(*ReadTestFile("richedit/riched20-10_mixed_cp932_cp936_fonts_dbcs.rtf"));
  EXPECT_EQ(mixed.rfind("要やフぎば要立クモフ刑香カルオ洋8宮", 0), 0u);  // Shift-JIS, trail bytes ASCII
  EXPECT_TRUE(Contains(mixed, "ちにせ。惑ワモ"));                            // a GB2312 run inside it

  const std::string multi = Text(*ReadTestFile("richedit/msftedit-5.41_multiscript_uN_and_simsun_cp936_hex.rtf"));
  EXPECT_TRUE(Contains(multi, "Johann Strauß\nBelgië\tRené Magritte\n"));
  EXPECT_TRUE(Contains(multi, "\n中国\nČeská republika"));
  EXPECT_EQ(Text(*ReadTestFile("richedit/msftedit-5.41.15_japanese_fcharset128_in_cp1252_doc.rtf")),
            "バージョンアップ注文書（銀行振込）");
  EXPECT_EQ(Text(*ReadTestFile("richedit/riched20-5.50_japanese_cp932_dbcs_hex.rtf")), "お元気ですか？");
  EXPECT_TRUE(Contains(Text(*ReadTestFile("richedit/msftedit-5.41.15_ansicpg1250.rtf")), "zażółć gęślą jaźń"));
  EXPECT_TRUE(Contains(Text(*ReadTestFile("other-writers/word2003_cp936_chinese_dbch_formatted.rtf")), "张三李四王五"));
  EXPECT_TRUE(Contains(Text(*ReadTestFile("other-writers/macos-textedit_cp936_chinese.rtf")),
                       "印刷情况反映：\n201-003-00155 (Multiple)\n\n市政府情况反映："));
  EXPECT_TRUE(Contains(Text(*ReadTestFile("richedit/richedit3_cp1251_highlight_par_first.rtf")), "\xD0"));
}

TEST(RtfReaderFiles, TextAgreesWithThePlainTextOfTheSearch) {
  // Without tables or lists the two readers see the same characters.
  for (const char* file : {"generated/wine8-riched20_zh_long_note.rtf",
                           "generated/wine8-riched20_zh_colors_highlights.rtf",
                           "generated/wine8-riched20_zh_paragraph_alignment_indent_spacing.rtf"}) {
    SCOPED_TRACE(file);
    // The search reads on past the last brace: the NUL a rich edit control writes there too.
    std::string search = Cp936ToUtf8(ExtractPlainText(RtfTestFile(file)));
    while (!search.empty() && (search.back() == '\n' || search.back() == '\0')) search.pop_back();
    EXPECT_EQ(FirstDifference(Text(*ReadTestFile(file)), search), "");
  }
}

TEST(RtfReaderFiles, UnicodeEscapesAndSurrogatePairs) {
  EXPECT_EQ(Text(*ReadTestFile("richedit/riched20-10_emoji_surrogate_negative_uN.rtf")),
            "Iñtërnâtiônàlizætiøn☃💩");
  const std::string gothic = Text(*ReadTestFile("richedit/msftedit-5.41_unicode_gothic_surrogates.rtf"));
  EXPECT_EQ(QString::fromStdString(gothic).toUcs4().size(), 6);
  const std::string beyond = Text(*ReadTestFile("generated/wine8-riched20_zh_beyond_gbk_unicode.rtf"));
  EXPECT_TRUE(Contains(beyond, "表情：😀👍🎉\n扩展B区汉字：𠀀𪚥𠮷\n韩文：한국어"));
  EXPECT_TRUE(Contains(Text(*ReadTestFile("generated/libreoffice-7.4_zh_note_from_html_uN_pngblip.rtf")),
                       "链接：示例网站，表情 😀，"));
}

TEST(RtfReaderFiles, LinkFieldsOfBothRichEditForms) {
  auto seven = ReadTestFile("generated/handwritten_msftedit-style_zh_hyperlinks.rtf");
  EXPECT_TRUE(Contains(Text(*seven), "项目主页：示例网站，欢迎访问。\n邮件：someone@example.com\n"));
  EXPECT_EQ(FormatOf(*seven, "示例网站").anchorHref(), "https://example.com/notes");
  EXPECT_TRUE(FormatOf(*seven, "示例网站").fontUnderline());
  EXPECT_EQ(FormatOf(*seven, "someone@").anchorHref(), "mailto:someone@example.com");
  EXPECT_FALSE(FormatOf(*seven, "欢迎访问").isAnchor());

  auto ten = ReadTestFile("generated/handwritten_riched20-10-style_zh_hyperlinks_trailing_nul.rtf");
  EXPECT_EQ(FormatOf(*ten, "https://example.com/a?b=1").anchorHref(), "https://example.com/a?b=1");
  EXPECT_EQ(FormatOf(*ten, "我的笔记").anchorHref(), "https://example.com/%E7%AC%94%E8%AE%B0");
  const QTextCharFormat bold = FormatOf(*ten, "http://www.example.org/");
  EXPECT_EQ(bold.anchorHref(), "http://www.example.org/");
  EXPECT_EQ(bold.fontWeight(), QFont::Bold);

  auto github = ReadTestFile("richedit/msftedit-5.41_hyperlink_field.rtf");
  const QTextCharFormat pro = FormatOf(*github, "pro");
  EXPECT_EQ(pro.anchorHref(), "https://github.com/tbluemel/rtf.js");
  EXPECT_TRUE(pro.fontItalic());
  EXPECT_EQ(BlockOf(*github, "a hyperlink").blockFormat().alignment() & Qt::AlignHorizontal_Mask,
            Qt::AlignHCenter);
}

TEST(RtfReaderFiles, BulletsAndNumberingInRichEditAndWordForms) {
  auto wine = ReadTestFile("generated/wine8-riched20_zh_bullets_numbered_lists.rtf");
  QTextList* bullets = BlockOf(*wine, "买菜").textList();
  ASSERT_TRUE(bullets);
  EXPECT_EQ(bullets->format().style(), QTextListFormat::ListDisc);
  EXPECT_EQ(bullets->count(), 3);
  QTextList* numbers = BlockOf(*wine, "打开软件").textList();
  ASSERT_TRUE(numbers);
  EXPECT_EQ(numbers->format().style(), QTextListFormat::ListDecimal);
  EXPECT_EQ(numbers->count(), 4);
  EXPECT_EQ(numbers->format().numberSuffix(), ".");
  QTextList* letters = BlockOf(*wine, "乙").textList();
  ASSERT_TRUE(letters);
  EXPECT_EQ(letters->format().style(), QTextListFormat::ListLowerAlpha);
  EXPECT_EQ(letters->format().numberSuffix(), ")");
  EXPECT_FALSE(BlockOf(*wine, "步骤").textList());

  auto word = ReadTestFile("generated/libreoffice-7.4_zh_note_from_html_uN_pngblip.rtf");
  ASSERT_TRUE(BlockOf(*word, "给妈妈").textList());
  EXPECT_EQ(BlockOf(*word, "给妈妈").textList()->format().style(), QTextListFormat::ListDisc);
  EXPECT_EQ(BlockOf(*word, "给妈妈").textList()->count(), 2);
  ASSERT_TRUE(BlockOf(*word, "保存").textList());
  EXPECT_EQ(BlockOf(*word, "保存").textList()->format().style(), QTextListFormat::ListDecimal);
  EXPECT_EQ(BlockOf(*word, "保存").textList()->count(), 3);

  auto win10 = ReadTestFile("richedit/riched20-10_bullet_and_numbered_list.rtf");
  EXPECT_EQ(BlockOf(*win10, "Bullet 2").textList(), BlockOf(*win10, "Bullet").textList());
  EXPECT_EQ(BlockOf(*win10, "List 2").textList()->format().style(), QTextListFormat::ListDecimal);
  EXPECT_FALSE(BlockOf(*win10, "Paragraph 2").textList());
}

TEST(RtfReaderFiles, TablesCellsAndGeometry) {
  auto wine = ReadTestFile("generated/wine8-riched20_zh_table_3x4.rtf");  // no \intbl at all
  ASSERT_EQ(Tables(*wine).size(), 1u);
  QTextTable* t = Tables(*wine)[0];
  EXPECT_EQ(t->rows(), 4);
  EXPECT_EQ(t->columns(), 4);
  EXPECT_EQ(CellText(t, 0, 0), "节次");
  EXPECT_EQ(CellText(t, 1, 3), "英语 English");
  EXPECT_EQ(CellText(t, 3, 2), "");
  EXPECT_EQ(t->format().property(rtfprop::kTableCellRights).toList(),
            (QVariantList{1500, 4000, 6500, 9000}));
  EXPECT_EQ(t->cellAt(0, 0).format().property(rtfprop::kCellBorders).toList(),
            (QVariantList{10, 10, 10, 10}));
  EXPECT_TRUE(Contains(Text(*wine), "本周课程表\n节次\t星期一\t星期二\t星期三\n"));
  EXPECT_TRUE(Contains(Text(*wine), "\t社团活动\n表格后的段落。"));

  auto rich = ReadTestFile("richedit/msftedit-5.41_cp936_table_hyperlink_lchars.rtf");
  ASSERT_EQ(Tables(*rich).size(), 1u);
  EXPECT_EQ(CellText(Tables(*rich)[0], 2, 2), "99999999999");
  EXPECT_EQ(FormatOf(*rich, "http://www.cnblogs").anchorHref(), "http://www.cnblogs.com/xdesigner");

  // A table at the very start of the document.
  auto tika = ReadTestFile("richedit/msftedit-5.41_table_trowd.rtf");
  ASSERT_EQ(Tables(*tika).size(), 1u);
  EXPECT_EQ(Tables(*tika)[0]->rows(), 4);
  EXPECT_EQ(CellText(Tables(*tika)[0], 2, 0), "ä");
  EXPECT_EQ(Text(*tika).rfind("a\tb\nc\td\n", 0), 0u);
}

TEST(RtfReaderFiles, PicturesShownAndKeptGroups) {
  auto png = ReadTestFile("generated/handwritten_riched20-10-style_zh_pngblip_picture_trailing_nul.rtf");
  auto images = Images(*png);
  ASSERT_EQ(images.size(), 1u);
  EXPECT_TRUE(images[0].property(rtfprop::kPictureData).toByteArray().startsWith("\x89PNG"));
  EXPECT_DOUBLE_EQ(images[0].width(), 24);   // \picwgoal360
  EXPECT_DOUBLE_EQ(images[0].height(), 16);
  EXPECT_FALSE(png->resource(QTextDocument::ImageResource, QUrl(images[0].name())).isNull());
  EXPECT_TRUE(Contains(Text(*png), "图片示例：下面是一张小图\n图片后面同一段的文字"));

  auto scaled = ReadTestFile("generated/libreoffice-7.4_zh_note_from_html_uN_pngblip.rtf");
  ASSERT_EQ(Images(*scaled).size(), 1u);  // \shppict read, \nonshppict skipped
  EXPECT_DOUBLE_EQ(Images(*scaled)[0].width(), 48);  // \picscalex200

  // A device-independent bitmap is kept as it came and shown as the picture it is.
  QByteArray dib(40, '\0');
  dib[0] = 40;                 // header size
  dib[4] = 2; dib[8] = 1;      // 2 x 1 pixels
  dib[12] = 1; dib[14] = 24;   // one plane, 24 bits
  dib += QByteArray("\x00\x00\xff\x00\xff\x00\x00\x00", 8);  // red, green, row padding
  const QByteArray dibGroup = "{\\pict\\dibitmap0\\picw2\\pich1 " + dib.toHex() + "}";
  auto dibDoc = ReadDoc("{\\rtf1 " + dibGroup + "}");
  ASSERT_EQ(Images(*dibDoc).size(), 1u);
  EXPECT_EQ(Images(*dibDoc)[0].property(rtfprop::kKeptGroup).toByteArray(), dibGroup);
  const QImage shown = dibDoc->resource(QTextDocument::ImageResource, QUrl(Images(*dibDoc)[0].name())).value<QImage>();
  ASSERT_EQ(shown.size(), QSize(2, 1));
  EXPECT_EQ(shown.pixelColor(0, 0), QColor(255, 0, 0));

  const QByteArray wmfFile = Bytes(RtfTestFile("richedit/msftedit-5.41_pict_wmetafile8_images.rtf"));
  auto wmf = ReadDoc(wmfFile);
  images = Images(*wmf);
  ASSERT_FALSE(images.empty());
  for (const QTextImageFormat& f : images) {
    const QByteArray group = f.property(rtfprop::kKeptGroup).toByteArray();
    EXPECT_TRUE(group.startsWith("{\\pict") && group.endsWith("}"));
    EXPECT_TRUE(wmfFile.contains(group));
    EXPECT_GT(f.width(), 1);
    EXPECT_FALSE(wmf->resource(QTextDocument::ImageResource, QUrl(f.name())).isNull());
  }
}

// A paragraph's character format is the one in force at its end, whatever its text began
// with (the reader makes a paragraph with the format its first text has and sets it again only
// where it ends otherwise). The same picture twice is decoded once and shown twice, each at its
// own size.
TEST(RtfReaderInput, ParagraphsEndInTheirLastFormatAndARepeatedPictureIsDecodedOnce) {
  auto doc = ReadDoc("{\\rtf1 a\\b b\\par \\b c\\b0 d\\par {\\b\\fs40\\par}e\\par f}");
  std::vector<QTextBlock> blocks;
  for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) blocks.push_back(b);
  ASSERT_EQ(blocks.size(), 5u);
  EXPECT_EQ(blocks[0].text(), "ab");
  EXPECT_EQ(blocks[0].charFormat().fontWeight(), QFont::Bold);
  EXPECT_EQ(blocks[1].text(), "cd");
  EXPECT_EQ(blocks[1].charFormat().fontWeight(), QFont::Normal);
  EXPECT_EQ(blocks[2].text(), "");
  EXPECT_EQ(blocks[2].charFormat().fontWeight(), QFont::Bold);
  EXPECT_DOUBLE_EQ(blocks[2].charFormat().fontPointSize(), 20);
  EXPECT_EQ(blocks[3].charFormat().fontWeight(), QFont::Normal);
  EXPECT_DOUBLE_EQ(blocks[3].charFormat().fontPointSize(), 12);
  EXPECT_EQ(blocks[4].text(), "f");

  QImage image(3, 2, QImage::Format_RGB32);
  image.fill(QColor(10, 200, 30));
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  const QByteArray hex = png.toHex();
  auto pictures = ReadDoc("{\\rtf1 {\\pict\\pngblip\\picw3\\pich2 " + hex + "}x{\\pict\\pngblip\\picw3\\pich2"
                          "\\picwgoal90\\pichgoal60 " + hex + "}}");
  const auto images = Images(*pictures);
  ASSERT_EQ(images.size(), 2u);
  EXPECT_EQ(images[0].name(), images[1].name());
  EXPECT_DOUBLE_EQ(images[0].width(), 3);
  EXPECT_DOUBLE_EQ(images[1].width(), 6);
  const QImage shown =
      pictures->resource(QTextDocument::ImageResource, QUrl(images[1].name())).value<QImage>();
  ASSERT_EQ(shown.size(), QSize(3, 2));
  EXPECT_EQ(shown.pixelColor(1, 1), QColor(10, 200, 30));
}

TEST(RtfReaderFiles, CharacterAndParagraphFormats) {
  auto basic = ReadTestFile("generated/wine8-riched20_zh_basic_char_formatting.rtf");
  EXPECT_EQ(FormatOf(*basic, "粗体").fontWeight(), QFont::Bold);
  EXPECT_TRUE(FormatOf(*basic, "斜体").fontItalic());
  EXPECT_TRUE(FormatOf(*basic, "下划线").fontUnderline());
  EXPECT_TRUE(FormatOf(*basic, "删除线").fontStrikeOut());
  EXPECT_DOUBLE_EQ(FormatOf(*basic, "特大").fontPointSize(), 24);
  EXPECT_EQ(FormatOf(*basic, "微软雅黑").fontFamilies().toStringList(), QStringList{"Microsoft YaHei"});
  EXPECT_EQ(FormatOf(*basic, "同一段落").fontFamilies().toStringList(), QStringList{"SimSun"});
  EXPECT_TRUE(Contains(Text(*basic), "第一行\n同一段落的第二行"));  // \line
  EXPECT_TRUE(BlockOf(*basic, "第一行").text().contains(QChar(0x2028)));
  const QTextBlock sup = BlockOf(*basic, "H2O");
  bool sawSuper = false, sawSub = false;
  for (auto it = sup.begin(); !it.atEnd(); ++it) {
    const auto v = it.fragment().charFormat().verticalAlignment();
    sawSuper |= it.fragment().text() == "2" && v == QTextCharFormat::AlignSuperScript;
    sawSub |= it.fragment().text() == "2" && v == QTextCharFormat::AlignSubScript;
  }
  EXPECT_TRUE(sawSuper && sawSub);

  auto colours = ReadTestFile("generated/wine8-riched20_zh_colors_highlights.rtf");
  EXPECT_EQ(FormatOf(*colours, "红色文字").foreground().color(), QColor(255, 0, 0));
  EXPECT_EQ(FormatOf(*colours, "黄色高亮").background().color(), QColor(255, 255, 0));
  EXPECT_EQ(FormatOf(*colours, "紫色粗体").foreground().color(), QColor(128, 0, 128));
  EXPECT_FALSE(FormatOf(*colours, "普通").hasProperty(QTextFormat::BackgroundBrush));

  auto para = ReadTestFile("generated/wine8-riched20_zh_paragraph_alignment_indent_spacing.rtf");
  EXPECT_EQ(BlockOf(*para, "居中").blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
  EXPECT_EQ(BlockOf(*para, "右对齐").blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
  EXPECT_DOUBLE_EQ(BlockOf(*para, "首行缩进").blockFormat().textIndent(), 32);   // \fi480
  EXPECT_DOUBLE_EQ(BlockOf(*para, "首行缩进").blockFormat().leftMargin(), -32);  // \li-480
  EXPECT_DOUBLE_EQ(BlockOf(*para, "左右各缩进").blockFormat().rightMargin(), 48);
  EXPECT_DOUBLE_EQ(BlockOf(*para, "段前段后").blockFormat().topMargin(), 16);
  EXPECT_DOUBLE_EQ(BlockOf(*para, "段前段后").blockFormat().bottomMargin(), 16);

  const std::string special = Text(*ReadTestFile("richedit/msftedit-5.41_named_chars_tab_quotes.rtf"));
  EXPECT_TRUE(Contains(special, "Tab A\tB\nTab A\tB\nCR A\nB\nLF A\nB\n"));
  EXPECT_TRUE(Contains(special, "Emdash: —\nEndash: –"));
  EXPECT_TRUE(Contains(special, "Ldblquote: “\nRdblquote: ”"));
}

TEST(RtfReaderInput, CodePagesUnicodeSkippingAndDefaults) {
  // \'xx bytes in the code page of the font's character set, not of \ansicpg.
  EXPECT_EQ(Text(*ReadDoc("{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0\\fcharset134 SimSun;}"
                          "{\\f1\\fcharset0 Arial;}}\\f0\\'d6\\'d0\\f1\\'e9}")),
            "中é");
  // Without \ansicpg and without a font, the system code page: 936.
  EXPECT_EQ(Text(*ReadDoc("{\\rtf1 \\'d6\\'d0}")), "中");
  // \ucN: N fallback characters skipped, an escape counting one.
  EXPECT_EQ(Text(*ReadDoc("{\\rtf1\\uc2\\u20013\\'d6\\'d0x}")), "中x");
  EXPECT_EQ(Text(*ReadDoc("{\\rtf1\\uc0\\u20013 x}")), "中x");
  EXPECT_EQ(Text(*ReadDoc("{\\rtf1\\u20013??x}")), "中?x");
  // The skip stops at a group boundary.
  EXPECT_EQ(Text(*ReadDoc("{\\rtf1\\uc3{\\u20013}x}")), "中x");
  // Named characters and escaped symbols.
  EXPECT_EQ(Text(*ReadDoc("{\\rtf1 a\\~b\\{\\}\\\\\\emdash}")), "a\xC2\xA0" "b{}\\—");
}

TEST(RtfReaderInput, MalformedAndHostileInputIsBounded) {
  bool complete = true;
  EXPECT_EQ(Text(*ReadDoc("{\\rtf1 Hello\\par Wor", &complete)), "Hello\nWor");
  EXPECT_FALSE(complete);
  EXPECT_EQ(Text(*ReadDoc("{\\rtf1 a}}}}b", &complete)), "a");
  EXPECT_TRUE(complete);  // what follows the document is not read
  EXPECT_EQ(Text(*ReadDoc(QByteArray("{\\rtf1 a}\r\n\0", 12), &complete)), "a");
  EXPECT_TRUE(complete);
  EXPECT_EQ(Text(*ReadDoc("}}{\\rtf1 a}", &complete)), "a");
  EXPECT_FALSE(complete);
  EXPECT_EQ(Text(*ReadDoc("")), "");

  // Deep nesting: groups beyond the limit are skipped, the rest is read.
  QByteArray deep = "{\\rtf1 a" + QByteArray(200000, '{') + "x" + QByteArray(200000, '}') + "b}";
  QTextDocument doc;
  RtfReadResult result;
  EXPECT_TRUE(ReadRtf(deep, &doc, {}, &result));
  EXPECT_EQ(result.skippedGroups, 1);
  EXPECT_EQ(Text(doc), "ab");

  // A huge \bin count, bad hex, a 1000-letter word, a parameter of 1000 digits.
  EXPECT_EQ(Text(*ReadDoc("{\\rtf1 a{\\pict\\pngblip\\bin2147483647 xyz}}")), "a");
  EXPECT_EQ(Text(*ReadDoc("{\\rtf1 a\\'zzb\\'4}")), "azzb");
  EXPECT_EQ(Text(*ReadDoc("{\\rtf1 a\\" + QByteArray(1000, 'k') + " b\\fs" + QByteArray(1000, '9') + " c}")),
            "abc");
  // A broken picture is kept as it came, not dropped.
  auto bad = ReadDoc("{\\rtf1{\\pict\\pngblip 0102}}");
  ASSERT_EQ(Images(*bad).size(), 1u);
  EXPECT_EQ(Images(*bad)[0].property(rtfprop::kKeptGroup).toByteArray(), "{\\pict\\pngblip 0102}");
  // A picture word that does not open its group is no picture (it would keep half a document).
  auto stray = ReadDoc("{\\rtf1 a{b\\pict\\pngblip 00}c\\pict d}");
  EXPECT_TRUE(Images(*stray).empty());
  EXPECT_EQ(Text(*stray), "abc");
  // An object group is kept whole and shown by a placeholder.
  const QByteArray object = "{\\object\\objemb{\\*\\objclass Paint.Picture}\\objw600\\objh300"
                            "{\\*\\objdata 0105}{\\result{\\pict\\wmetafile8 0102}}}";
  auto obj = ReadDoc("{\\rtf1 a" + object + "b}");
  ASSERT_EQ(Images(*obj).size(), 1u);
  EXPECT_EQ(Images(*obj)[0].property(rtfprop::kKeptGroup).toByteArray(), object);
  EXPECT_DOUBLE_EQ(Images(*obj)[0].width(), 40);
  EXPECT_EQ(Text(*obj), "ab");
}

// A PNG signature and header that claim a picture of the given size, with nothing after.
QByteArray PngHeader(quint32 width, quint32 height) {
  QByteArray chunk("IHDR");
  for (quint32 v : {width, height})
    for (int k = 3; k >= 0; --k) chunk.append(static_cast<char>((v >> (8 * k)) & 0xFF));
  chunk.append("\x08\x02\x00\x00\x00", 5);
  quint32 crc = 0xFFFFFFFFu;
  for (char ch : chunk) {
    crc ^= static_cast<unsigned char>(ch);
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  crc ^= 0xFFFFFFFFu;
  QByteArray png("\x89PNG\r\n\x1a\n\x00\x00\x00\x0d", 12);
  png += chunk;
  for (int k = 3; k >= 0; --k) png.append(static_cast<char>((crc >> (8 * k)) & 0xFF));
  return png;
}

TEST(RtfReaderInput, TablesAndPicturesCannotExhaustMemory) {
  // A row of 4096 cell definitions, then 2000 short rows: at most 63 columns, 100000 cells.
  QByteArray rows = "{\\rtf1\\trowd";
  for (int i = 0; i < 4096; ++i) rows += "\\cellx" + QByteArray::number(i + 1);
  for (int i = 0; i < 2000; ++i) rows += "\\intbl x\\cell\\row";
  auto doc = ReadDoc(rows + "}");
  ASSERT_EQ(Tables(*doc).size(), 1u);
  EXPECT_EQ(Tables(*doc)[0]->columns(), 63);
  EXPECT_LE(qint64(Tables(*doc)[0]->rows()) * 63, 100000);

  // Pictures that claim 30000 x 30000 pixels are not decoded: kept, shown by a placeholder.
  const QByteArray huge = PngHeader(30000, 30000);
  QByteArray many = "{\\rtf1 ";
  for (int i = 0; i < 50; ++i)
    many += "{\\pict\\pngblip\\picwgoal" + QByteArray::number(1500 + i) + "\\pichgoal1500 " +
            huge.toHex() + "}";
  auto pictures = ReadDoc(many + "}");
  const auto images = Images(*pictures);
  ASSERT_EQ(images.size(), 50u);
  EXPECT_TRUE(images[0].hasProperty(rtfprop::kKeptGroup));
  EXPECT_DOUBLE_EQ(images[0].width(), 100);
  qint64 budget = 1000;
  EXPECT_TRUE(DecodePicture(PngHeader(100, 100), "PNG", &budget).isNull());  // 10000 > 1000
  EXPECT_EQ(budget, 1000);
}

TEST(RtfReaderInsert, PiecesOfTheEditorInsertedAtTheCursor) {
  QTextDocument doc;
  QTextCursor cursor(&doc);
  cursor.insertText("before after");
  cursor.setPosition(7);
  QTextCharFormat blue;
  blue.setForeground(QColor(0, 0, 255));
  cursor.setCharFormat(blue);
  const LinkField link = BuildLinkField("主页", "localfile:C:\\notes\\a.txt");
  ASSERT_EQ(link.status, LinkFieldStatus::kOk);
  EXPECT_TRUE(InsertRtf(cursor, QByteArray::fromStdString(link.rtf)));
  EXPECT_EQ(Text(doc), "before 主页after");
  const QTextCharFormat f = FormatOf(doc, "主页");
  EXPECT_EQ(f.anchorHref(), "localfile:C:\\notes\\a.txt");
  EXPECT_TRUE(f.fontUnderline());
  EXPECT_EQ(f.foreground().color(), QColor(0, 0, 255));  // the colour set before inserting
  EXPECT_EQ(cursor.position(), 9);
  EXPECT_TRUE(doc.isUndoAvailable());

  QTextDocument tableDoc;
  QTextCursor at(&tableDoc);
  at.insertText("x");
  EXPECT_TRUE(InsertRtf(at, QByteArray::fromStdString(*BuildTableRtf(2, 3))));
  ASSERT_EQ(Tables(tableDoc).size(), 1u);
  QTextTable* t = Tables(tableDoc)[0];
  EXPECT_EQ(t->rows(), 2);
  EXPECT_EQ(t->columns(), 3);
  EXPECT_EQ(t->format().property(rtfprop::kTableCellRights).toList(), (QVariantList{2916, 5832, 8748}));
  EXPECT_EQ(t->format().intProperty(rtfprop::kTableLeft), 8);
  EXPECT_EQ(Text(tableDoc), "x\n\t\t\n\t\t\n");
}

}  // namespace
}  // namespace zorbek
