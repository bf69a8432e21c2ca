// A window exposed to scripts as "Form": its descendants by objectName and its properties,
// read and written from a script, on real widgets.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>
#include <QWidget>

#include "ScriptRecorder.h"
#include "script/ComponentScriptlet.h"

namespace {

using script::CreateComponentScriptlet;

struct Form {
  QWidget window;
  QLabel* label;
  QLineEdit* edit;
  QCheckBox* check;
  Form() {
    window.setObjectName("FormMain");
    auto* layout = new QVBoxLayout(&window);
    label = new QLabel("Ready", &window);
    label->setObjectName("LabelStatus");
    auto* group = new QGroupBox("Output", &window);
    group->setObjectName("GroupOutput");
    auto* inner = new QVBoxLayout(group);
    edit = new QLineEdit("/home/user/Videos/", group);
    edit->setObjectName("EditOutputDir");
    check = new QCheckBox("Shut down", group);
    check->setObjectName("CheckBoxShutdown");
    inner->addWidget(edit);
    inner->addWidget(check);
    layout->addWidget(label);
    layout->addWidget(group);
  }
};

struct FormScript : ScriptRecorder {
  Form form;
  FormScript() { host.AddScriptlet(CreateComponentScriptlet(&form.window, "Form")); }
};

TEST(ComponentObject, ReadsChildPropertiesAndWritesThemBack) {
  FormScript s;
  s.run(
      "Host.Echo(Form.LabelStatus.Text);\n"
      "Form.EditOutputDir.Text = Form.EditOutputDir.Text + 'Downloads/';\n"
      "Form.labelstatus.TEXT = 'Done';\n"
      "Form.CheckBoxShutdown.Checked = true;\n"
      "Host.Echo(Form.CheckBoxShutdown.Checked);");
  EXPECT_TRUE(s.errors.empty()) << s.events.join("|").toStdString();
  EXPECT_EQ(s.echoes, QStringList({"Ready", "true"}));
  EXPECT_EQ(s.form.edit->text(), "/home/user/Videos/Downloads/");
  EXPECT_EQ(s.form.label->text(), "Done");
  EXPECT_TRUE(s.form.check->isChecked());
}

TEST(ComponentObject, ValuesKeepTheirKindAndEnumerationsReadAsNames) {
  FormScript s;
  s.form.edit->setMaxLength(40);
  s.form.label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  s.run(
      "Host.Echo(typeof Form.EditOutputDir.MaxLength);\n"
      "Host.Echo(Form.EditOutputDir.MaxLength + 2);\n"
      "Host.Echo(typeof Form.CheckBoxShutdown.Checked);\n"
      "Host.Echo(Form.EditOutputDir.EchoMode);\n"
      "Host.Echo(Form.LabelStatus.Alignment);\n"
      "Host.Echo(Form.ObjectName);\n"
      "Host.Echo(typeof Form.GroupOutput);");
  EXPECT_TRUE(s.errors.empty()) << s.events.join("|").toStdString();
  EXPECT_EQ(s.echoes, QStringList({"number", "42", "boolean", "Normal", "AlignHCenter|AlignTop",
                                   "FormMain", "object"}));
}

TEST(ComponentObject, EnumerationsAndFlagsAreWrittenByName) {
  FormScript s;
  s.run(
      "Form.EditOutputDir.EchoMode = 'Password';\n"
      "Form.LabelStatus.Alignment = 'AlignHCenter|AlignBottom';");
  EXPECT_TRUE(s.errors.empty()) << s.events.join("|").toStdString();
  EXPECT_EQ(s.form.edit->echoMode(), QLineEdit::Password);
  EXPECT_EQ(s.form.label->alignment(), Qt::AlignHCenter | Qt::AlignBottom);
}

TEST(ComponentObject, BadNamesAndValuesAreScriptErrorsThatChangeNothing) {
  struct Case {
    const char* statement;
    const char* descriptionPart;
  };
  const Case cases[] = {
      {"Form.NoSuchChild.Text", "doesn't support"},
      {"Form.LabelStatus.NoSuchProperty", "doesn't support"},
      {"Form.LabelStatus.NoSuchProperty = 1", "doesn't support"},
      {"Form.EditOutputDir.EchoMode = 'Sideways'", "Invalid value"},
      {"Form.LabelStatus.Alignment = 'AlignLeft|Nowhere'", "Invalid value"},
      {"Form.EditOutputDir.MaxLength = 'many'", "Invalid value"},
      {"Form.EditOutputDir.AcceptableInput = false", "read-only"},
      {"Form.Width = 5", "read-only"},
  };
  for (const Case& c : cases) {
    FormScript s;
    s.run(QString::fromUtf8(c.statement) + ";\nHost.Echo('not reached');");
    ASSERT_EQ(s.errors.size(), 1u) << c.statement;
    EXPECT_TRUE(s.errors[0].Description.contains(c.descriptionPart))
        << c.statement << " -> " << s.errors[0].Description.toStdString();
    EXPECT_TRUE(s.echoes.isEmpty()) << c.statement;
    EXPECT_EQ(s.form.edit->echoMode(), QLineEdit::Normal);
    EXPECT_EQ(s.form.edit->maxLength(), 32767);
  }
}

TEST(ComponentObject, WritingAChildsNameDoesNothing) {
  FormScript s;
  s.run("Form.LabelStatus = 'replaced';\nHost.Echo(Form.LabelStatus.Text);");
  EXPECT_TRUE(s.errors.empty());
  EXPECT_EQ(s.echoes, QStringList({"Ready"}));
}

TEST(ComponentObject, ADestroyedComponentIsAnErrorNotACrash) {
  FormScript s;
  auto* doomed = new QLabel("gone soon", &s.form.window);
  doomed->setObjectName("LabelDoomed");
  auto host = std::static_pointer_cast<script::THostScriptlet>(s.host.FindScriptlet("Host"));
  host->OnAlert = [&](script::THostScriptlet&, const QString&) { delete doomed; };
  s.run("var label = Form.LabelDoomed;\nHost.Alert('delete it');\nHost.Echo(label.Text);");
  ASSERT_EQ(s.errors.size(), 1u);
  EXPECT_EQ(s.errors[0].Line, 2);
  EXPECT_TRUE(s.errors[0].Description.contains("no longer exists"));
}

TEST(ComponentObject, TheNameDefaultsToTheObjectName) {
  Form form;
  EXPECT_EQ(CreateComponentScriptlet(&form.window)->Name(), "FormMain");
  EXPECT_EQ(CreateComponentScriptlet(&form.window, "Form")->Name(), "Form");
  EXPECT_EQ(script::TComponentScriptlet::FindChildComponent(&form.window, "checkboxshutdown"),
            form.check);
  EXPECT_EQ(script::TComponentScriptlet::FindChildComponent(&form.window, ""), nullptr);
}

}  // namespace

namespace {

TEST(ComponentObject, OddValuesWrittenToAPropertyDoNotBringTheHostDown) {
  // Objects are written as their text; a self-referencing one once crashed the conversion.
  struct Case {
    const char* value;
    const char* expected;  // nullptr: any text, as long as the write goes through
  };
  const Case cases[] = {
      {"(function () { var o = {}; o.self = o; return o; })()", "[object Object]"},
      {"(function () { var a = [1]; a.push(a); return a; })()", nullptr},
      {"function () {}", nullptr},
      {"Form", nullptr},
      {"undefined", ""},
      {"null", ""},
      {"[1, [2, [3]]]", "1,2,3"},
      {"Symbol('s')", "Symbol(s)"},
      {"1e400", nullptr},
      {"new Array(100001).join('x')", nullptr},
  };
  for (const Case& c : cases) {
    FormScript s;
    s.run(QStringLiteral("Form.LabelStatus.Text = %1;\nHost.Echo(Form.LabelStatus.Text);")
              .arg(QString::fromUtf8(c.value)));
    EXPECT_TRUE(s.errors.empty()) << c.value << ": " << s.events.join("|").left(200).toStdString();
    ASSERT_EQ(s.echoes.size(), 1) << c.value;
    EXPECT_EQ(s.echoes[0], s.form.label->text()) << c.value;
    if (c.expected) {
      EXPECT_EQ(s.echoes[0], QString::fromUtf8(c.expected)) << c.value;
    }
  }
  FormScript s;
  s.run("Form.LabelStatus.Text = {toString: function () { throw new Error('no text'); }};");
  ASSERT_EQ(s.errors.size(), 1u);
  EXPECT_EQ(s.errors[0].Description, "no text");
  EXPECT_EQ(s.form.label->text(), "Ready");
}

}  // namespace
