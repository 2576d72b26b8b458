#include <gtest/gtest.h>

#include "functions/session/session.h"
#include "functions/session/session_cases.h"

namespace talwen::testing {
namespace {

TEST(About, ShowsTheProgramAsTagsAndAsAnHtmlTable) {
  Harness h;
  EXPECT_EQ(CallWith(h, {{"function", "rf_about"}}),
            "<ProductName>Talwen RF Engine</ProductName><CompanyName>Talwen</CompanyName>"
            "<EXEName>talwen</EXEName><Version>1.0.0</Version><Path>/opt/talwen</Path>"
            "<p><hr></hr><h1>About VELDRA WMS RF - ASP DLL</h1>"
            "<table border=0 cellpadding=3 cellspacing=3 width=100%>"
            "<tr><td>ProductName : </td><td>Talwen RF Engine</td></tr>"
            "<tr><td>CompanyName : </td><td>Talwen</td></tr>"
            "<tr><td>EXEName : </td><td>talwen</td></tr>"
            "<tr><td>Version : </td><td>1.0.0</td></tr>"
            "<tr><td>Path : </td><td>/opt/talwen</td></tr>"
            "</table><hr></hr></p>");
  EXPECT_TRUE(h.db->statements.empty());
}

TEST(About2, ShowsProgramSessionServerAndMaskedConnection) {
  Harness h;
  h.write_ini("[wms]\nProvider=Scripted\nUser ID=rf\nPassword=s3cr<t\n");
  h.request.server_variables.set("HTTP_USER_AGENT", "Handheld/2.0");
  h.request.server_variables.set("QUERY_STRING", "a=<b>");
  h.request.server_variables.set("SCRIPT_NAME", "/rf/about.asp");
  EXPECT_EQ(CallWith(h, {{"function", "RF_About2"}, {"dbinstance", "wms"}}),
            "<app_productname>Talwen RF Engine</app_productname>"
            "<app_companyname>Talwen</app_companyname><app_exename>talwen</app_exename>"
            "<app_version>1.0.0</app_version><app_path>/opt/talwen</app_path>"
            "<session_sessionid>S1</session_sessionid>"
            "<server_server_name>rf.example</server_server_name>"
            "<server_http_referer></server_http_referer>"
            "<server_http_user_agent>Handheld/2.0</server_http_user_agent>"
            "<server_remote_addr>10.1.1.7</server_remote_addr>"
            "<server_query_string>a=<b></server_query_string>"
            "<server_script_name>/rf/about.asp</server_script_name>"
            "<server_path_translated></server_path_translated>"
            "<dbinstance>wms</dbinstance><function>RF_About2</function>"
            "<dbconnectionstring>Provider=Scripted;User ID=rf;Password=********;"
            "PROVIDER=SQLOLEDB</dbconnectionstring>");
}

TEST(MaskPasswords, HidesEveryPasswordWhateverTheKeywordsCase) {
  const struct {
    const char* text;
    const char* expected;
  } cases[] = {
      {"Data Source=srv;PASSWORD=abc;PROVIDER=SQLOLEDB",
       "Data Source=srv;PASSWORD=********;PROVIDER=SQLOLEDB"},
      {"Password=secret;PROVIDER=SQLOLEDB", "Password=********;PROVIDER=SQLOLEDB"},
      {"User ID=rf;pwd=x1", "User ID=rf;pwd=********"},
      {" PassWord = a b ;x=1", " PassWord =********;x=1"},
      {"Password=a;Pwd=bb;PASSWORD=ccc", "Password=********;Pwd=********;PASSWORD=********"},
      {"Jet OLEDB:Database Password=key;x=1", "Jet OLEDB:Database Password=********;x=1"},
      {"Password=pässwörd", "Password=********"},
      {"Password=;x=1", "Password=;x=1"},
      {"Password=a=b;x=1", "Password=********;x=1"},
      {"PasswordHint=cat;User ID=pwd;Persist Security Info=True",
       "PasswordHint=cat;User ID=pwd;Persist Security Info=True"},
      {"Password=\"a;b\";User ID=rf", "Password=********;User ID=rf"},
      {"Pwd='x''y;z' ;User ID=rf", "Pwd=********;User ID=rf"},
      {"Password=\"never closed;User ID=rf", "Password=********"},
      {"User ID=\"a;Password=b\";Password=c", "User ID=\"a;Password=b\";Password=********"},
      {";PROVIDER=SQLOLEDB;", ";PROVIDER=SQLOLEDB;"},
      {"Data Source=srv;junk;PWD=p", "Data Source=srv;junk;PWD=********"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(MaskPasswords(c.text), c.expected) << c.text;
}

TEST(About3, ListsQueryStringAndServerVariablesByTheirKeys) {
  Harness h;
  EXPECT_EQ(CallWith(h, {{"function", "rf_about3"}}),
            "<QueryString></QueryString><ServerVariables><SERVER_NAME>rf.example</SERVER_NAME>"
            "<REMOTE_ADDR>10.1.1.7</REMOTE_ADDR></ServerVariables>");

  h.request.query_string.set("Item", "A<1>");
  h.request.query_string.set("qty", "");
  EXPECT_EQ(CallWith(h, {{"function", "rf_about3"}}),
            "<QueryString><Item>A<1></Item><qty></qty></QueryString><ServerVariables>"
            "<SERVER_NAME>rf.example</SERVER_NAME><REMOTE_ADDR>10.1.1.7</REMOTE_ADDR>"
            "</ServerVariables>");
}

}  // namespace
}  // namespace talwen::testing
