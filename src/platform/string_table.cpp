#include "platform/string_table.h"

#include "platform/language.h"

#include <algorithm>
#include <iterator>

namespace mwdx {

namespace {

struct Entry {
    int id;
    const char16_t* english;
    const char16_t* chinese;
};

// Sorted by id. Trailing blanks are part of a text ("Delete ").
constexpr Entry kEntries[] = {
    {132, u"Option", u"选项"},
    {133, u"Add Sub Catalog", u"添加下层目录"},
    {134, u"Select New Home Catalog to save your documents:", u"设置一个新的主目录来存放你的文档资料:"},
    {135, u"Add Document shortcut in desktop", u"是否在桌面生成快捷方式"},
    {136, u"System configuration dialog", u"系统选项设置"},
    {137, u"OK", u"确定"},
    {138, u"Cancel", u"取消"},
    {139, u"Add new sub knowledge catalog", u"添加子目录"},
    {140, u"Please type a new sub catalog name", u"请输入一个新的子目录名称"},
    {141, u"Can not add sub catalog under document", u"不能在文件下面追加子目录"},
    {142, u"Add a new sub catalog failure", u"添加新的子目录失败"},
    {143, u"Comment", u"注释说明"},
    {144, u"Add Neighbour Catalog", u"添加邻居目录"},
    {145, u"Add a new document to knowledge directory", u"添加一个新的文档"},
    {146, u"Add a new sub knowledge Catalog", u"添加一个新的子目录"},
    {147, u"Delete the origianl document after adding the document to knowledge database", u"在添加文档后删除原始文档"},
    {148, u"Select a new document which you want to add to knowledge database", u"请选择要添加到知识库的文档"},
    {149, u"Select a new document which you want to add to knowledge database", u"请选择要添加到知识库的文档"},
    {150, u"Please select a document which you want to add knowledge database", u"请选择一个你想添加到知识库中的文档"},
    {151, u"Now moving Document to knowledge database,Please wait for a moment", u"正在移动文件到指定目录，请稍侯！"},
    {152, u"Delete ", u"删除"},
    {153, u"Please select a catalog or document which you want to delete", u"请选择一个你要删除的文档或者目录"},
    {154, u"Caution", u"提示"},
    {155, u"Are you true you want to delete ", u"请确认是否要删除"},
    {156, u"Document", u"文档"},
    {157, u"Catalog", u"目录"},
    {158, u"Please type a new document name", u"请输入文档的名字"},
    {159, u"Update", u"更新"},
    {160, u"Marrowdex", u"zuzuv"},
    {161, u"Add a new document in root catalog", u"在知识库根目录添加文档"},
    {162, u"Open Index file", u"打开索引文件"},
    {163, u"Sync Index file", u"同步索引文件"},
    {164, u"Create Knowledge DataBase Index file failure!", u"生成知识库索引文件失败"},
    {165, u"Expand All", u"展开所有节点"},
    {166, u"Close All", u"收起所有节点"},
    {167, u"Delete the documents while delete the catalog node", u"删除节点的同时删除对应的文档"},
    {169, u"Help", u"帮助"},
    {177, u"Please select a directory as your knowledge database home directory",
     u"请选择一个目录作为你的知识库主目录"},
    {178, u"A catalog with this name already exists here", u"这里已经有同名的目录"},
    {179, u"This name cannot be used for a catalog or document", u"这个名称不能用作目录或文档的名称"},
    {180, u"The catalog's directory could not be renamed; nothing was changed", u"无法重命名目录，未做任何更改"},
    {181, u"A file with this name is already in the catalog's directory", u"目录中已经有同名的文件"},
    {182, u"The document could not be moved or copied into the knowledge database; it was not added",
     u"无法将文档移动或复制到知识库，文档未添加"},
    {183, u"The change could not be saved", u"无法保存更改"},
    {184, u"Some files could not be deleted", u"部分文件无法删除"},
    {185, u"The files were kept on disk because other catalogs or documents use them",
     u"文件仍保留在磁盘上，因为其他目录或文档正在使用它们"},
    {190, u"This knowledge base is already open in another window of the program",
     u"这个知识库已经在程序的另一个窗口中打开"},
    {191, u"The knowledge base is in use by another program. Please close that program and start again.",
     u"知识库正被其他程序使用，请关闭该程序后重新启动。"},
    {192, u"The file mymwdx.db beside the program is not a knowledge base. It was left unchanged.",
     u"程序旁边的 mymwdx.db 文件不是知识库，未做任何更改。"},
    {193, u"The knowledge base mymwdx.db beside the program could not be opened or created.",
     u"无法打开或创建程序旁边的知识库 mymwdx.db。"},
    {194, u"Some entries of the knowledge base are damaged and could not be shown. Entries: ",
     u"知识库中有些条目已损坏，无法显示。条目数："},
    {195,
     u"The knowledge base was changed by another program. The tree has been loaded again; please check it and "
     u"try again.",
     u"知识库已被其他程序修改，目录树已重新载入，请检查后再试。"},
    {196, u"A folder or file with this name is already there. Please choose another name.",
     u"这里已经有同名的文件夹或文件，请换一个名称。"},
    {197,
     u"This file belongs to the knowledge base itself and cannot be moved. Copy it instead, or choose another "
     u"file.",
     u"这个文件属于知识库本身，不能移动。请改为复制，或选择其他文件。"},
    {198, u"The program ended in the middle of a command. The command has now been completed:",
     u"程序上次在执行操作时中断，该操作现已完成："},
    {199, u"The program ended in the middle of a command. The command has now been undone:",
     u"程序上次在执行操作时中断，该操作现已撤销："},
    {210, u"The program ended in the middle of a command, which could be neither completed nor undone. Please check:",
     u"程序上次在执行操作时中断，该操作既无法完成也无法撤销，请检查："},
    {220, u"Open", u"打开"},
    {221, u"Show in folder", u"在文件夹中显示"},
    {222, u"Move to…", u"移动到…"},
    {223, u"This file or folder is not there:", u"找不到这个文件或文件夹："},
    {224, u"Move to catalog", u"移动到目录"},
    {225, u"Choose the catalog to move it into:", u"请选择要移入的目录："},
    {226, u"Top level", u"最上层"},
    {227, u"Adding dropped files to the knowledge database", u"正在把拖入的文件添加到知识库"},
    {228, u"Files: %1 of %2", u"文件：%1 / %2"},
    {229, u"Size: %1 of %2", u"大小：%1 / %2"},
    {230, u"A catalog cannot be moved into itself or into a catalog below it",
     u"目录不能移动到它自己或它下面的目录中"},
    {231, u"The catalog or document could not be moved; nothing was changed", u"无法移动目录或文档，未做任何更改"},
    {232, u"These files were not added:", u"以下文件未添加："},
    {233, u"Cancelled. The files added until then were kept; the others were not added.",
     u"已取消。之前添加的文件已保留，其余文件未添加。"},
    {234, u"Please select a catalog or document first", u"请先选择一个目录或文档"},
    {235, u"The folder could not be imported", u"无法导入这个文件夹"},
    {236, u"Find (Ctrl+F)", u"查找 (Ctrl+F)"},
    {250, u"Files or folders missing", u"缺少的文件或文件夹"},
    {251, u"A file where a folder should be, or a folder where a file should be", u"本该是文件夹的地方是文件，或者本该是文件的地方是文件夹"},
    {252, u"Files and folders in the Home Directory that no catalog or document owns", u"主目录中不属于任何目录或文档的文件和文件夹"},
    {253, u"Entries that could not be shown", u"无法显示的条目"},
    {254, u"Entries whose stored level is wrong", u"保存的层级有误的条目"},
    {255, u"Entries that share a path with another", u"与其他条目路径相同的条目"},
    {256, u"Names that cannot be a file or folder name", u"不能用作文件名或文件夹名的名称"},
    {257, u"Commands left unfinished by a crash", u"因程序意外结束而未完成的操作"},
    {258, u"The index page's js folder is missing or incomplete", u"索引页的 js 文件夹缺失或不完整"},
    {259, u"The knowledge base is healthy.", u"知识库状况良好。"},
    {260, u"Problems found: ", u"发现的问题数："},
    {261, u"Recovered", u"已恢复"},
    {262, u"Check", u"检查"},
    {263, u"Check the knowledge base", u"检查知识库"},
    {264, u"Import in place", u"就地导入"},
    {265, u"Attach under \"Recovered\"", u"放到“已恢复”目录下"},
    {266, u"Remove\u2026", u"移除\u2026"},
    {267, u"Rewrite levels", u"重写层级"},
    {268, u"Locate\u2026", u"定位\u2026"},
    {269, u"Finish or undo", u"完成或撤销"},
    {270, u"Copy the script files again", u"重新复制脚本文件"},
    {271, u"Check again", u"重新检查"},
    {272, u"Close", u"关闭"},
    {273, u"Import folder\u2026", u"导入文件夹\u2026"},
    {274, u"Importing into the knowledge base, please wait", u"正在导入知识库，请稍候"},
    {275, u"Some entries were skipped: their names cannot be used here, or they are links. Entries: ",
     u"有些条目被跳过：它们的名称在这里不能使用，或者它们是链接。条目数："},
    {276, u"The import was cancelled. What was imported before is kept.", u"导入已取消，此前导入的内容已保留。"},
    {277,
     u"The old Home Directory holds the folders and files of the knowledge base. Move them to the new folder, or "
     u"use the new folder as it is?",
     u"旧的主目录中存放着知识库的文件夹和文件。要把它们移动到新文件夹，还是按原样使用新文件夹？"},
    {278, u"Move everything to the new folder", u"全部移动到新文件夹"},
    {279, u"Use the new folder as it is", u"按原样使用新文件夹"},
    {280, u"Moving the knowledge base to the new Home Directory, please wait", u"正在把知识库移动到新的主目录，请稍候"},
    {281,
     u"The knowledge base could not be moved to the new Home Directory. Everything is back in the old one, which "
     u"stays the Home Directory.",
     u"无法把知识库移动到新的主目录。所有内容都已回到旧的主目录，主目录保持不变。"},
    {282,
     u"The knowledge base could not be moved completely, nor moved back. Please start the program again: it will "
     u"finish the move or take it back.",
     u"知识库未能完全移动，也未能移回。请重新启动程序：程序会完成移动或将其撤销。"},
    {283, u"The new Home Directory cannot lie inside the old one, nor the old one inside the new one.",
     u"新的主目录不能位于旧的主目录之中，旧的主目录也不能位于新的主目录之中。"},
    {284, u"Remove these entries from the knowledge base? Their files and folders stay where they are. Entries: ",
     u"要从知识库中移除这些条目吗？它们的文件和文件夹保持原样。条目数："},
    {285,
     u"Remove these catalogs and documents from the tree? Their files are missing; nothing on disk is deleted. "
     u"Entries: ",
     u"要从目录树中移除这些目录和文档吗？它们的文件已经缺失，不会删除磁盘上的任何内容。条目数："},
    {286, u"The last check of the knowledge base found problems: ", u"上次检查知识库时发现的问题数："},
    {287, u"Click Check to see them and mend them.", u"请点击“检查”查看并修复。"},
    {288, u"Checking the knowledge base, please wait", u"正在检查知识库，请稍候"},
    {289, u"Removing the entries from the tree, please wait", u"正在从目录树中移除条目，请稍候"},
    {300,
     u"The knowledge base holds records of unfinished commands that do not fit it. They were not carried out. "
     u"Click Check to see them and discard them:",
     u"知识库中有与它不符的未完成操作记录，这些操作没有执行。请点击“检查”查看并丢弃它们："},
    {301, u"Records of unfinished commands that do not fit the knowledge base (not carried out)",
     u"与知识库不符的未完成操作记录（未执行）"},
    {302, u"Discard\u2026", u"丢弃\u2026"},
    {303,
     u"Discard these records? The commands they describe are not carried out, and nothing on disk is changed. "
     u"Records: ",
     u"要丢弃这些记录吗？它们记录的操作不会执行，磁盘上的内容也不会改变。记录数："},
    {325,
     u"The name of this file or folder is not valid UTF-8 text, so the knowledge base could not find it again. "
     u"Please rename it first.",
     u"这个文件或文件夹的名称不是有效的 UTF-8 文本，知识库无法再找到它。请先给它改名。"},
    {326, u"the name is not valid UTF-8 text", u"名称不是有效的 UTF-8 文本"},
    {327, u"a link, or not an ordinary file or folder", u"是链接，或者不是普通的文件或文件夹"},
    {328, u"the name cannot be used here", u"这个名称在这里不能使用"},
    {329, u"it belongs to the program or to its knowledge base file mymwdx.db",
     u"它属于程序本身或其知识库文件 mymwdx.db"},
    {330, u"it cannot be read", u"无法读取"},
    {331,
     u"This folder is the program's own, or holds the program or its knowledge base file mymwdx.db. It cannot be "
     u"imported.",
     u"这个文件夹属于程序本身，或者包含程序或其知识库文件 mymwdx.db，不能导入。"},
    {332,
     u"The entry was removed from the knowledge base, but its files were kept on disk: they hold the program or its "
     u"knowledge base file mymwdx.db.",
     u"条目已从知识库中移除，但它的文件仍保留在磁盘上：其中包含程序或其知识库文件 mymwdx.db。"},
    {333,
     u"The folder or file of this catalog or document holds the program or its knowledge base file mymwdx.db, so it "
     u"cannot be moved or renamed.",
     u"这个目录或文档的文件夹或文件包含程序或其知识库文件 mymwdx.db，因此不能移动或重命名。"},
    {334,
     u"The chosen folder holds the program's own folder. Keeping documents there is unusual: the program and its "
     u"knowledge base file would lie among them. Use it as the Home Directory anyway?",
     u"所选文件夹包含程序自己的文件夹。在这里存放文档并不常见：程序及其知识库文件会和文档放在一起。"
     u"仍然要把它用作主目录吗？"},
    {335,
     u"The index page was not written: a catalog or document at the top level is named mwdx_index.html or "
     u"mwdx_index.html_bak, and the page never replaces it. Please rename it or move it first.",
     u"索引页未生成：最上层有名为 mwdx_index.html 或 mwdx_index.html_bak 的目录或文档，索引页不会替换它。"
     u"请先给它改名或移走。"},
    {336,
     u"Another copy of the program is already working on this knowledge base's Home Directory. Only one program may "
     u"work on a Home Directory at a time.",
     u"另一个程序副本已经在使用这个知识库的主目录。同一时间只能有一个程序使用一个主目录。"},
    {337,
     u"The chosen folder is the Home Directory of another copy of the program that is running. Please choose "
     u"another folder.",
     u"所选文件夹是另一个正在运行的程序副本的主目录。请选择其他文件夹。"},
    {338,
     u"The Home Directory must be a full folder path, such as /home/you/Knowledge, without \".\" or \"..\" in it, "
     u"and not / itself. Please choose the Home Directory again.",
     u"主目录必须是完整的文件夹路径（例如 /home/you/Knowledge），不能含有“.”或“..”，也不能是根目录 / 本身。"
     u"请重新选择主目录。"},
    {339, u"The Home Directory is not a full folder path, or it is / itself",
     u"主目录不是完整的文件夹路径，或者是根目录 / 本身"},
    {350, u"The index page was written, but its shortcut on the desktop could not be made.",
     u"索引页已生成，但无法在桌面上创建它的快捷方式。"},
    {351, u"Deleting the files, please wait", u"正在删除文件，请稍候"},
    {352, u"\u2026 and %1 more (the repair of the whole kind acts on them too)",
     u"\u2026\u2026另有 %1 项（对整类的修复也会处理它们）"},
    {370, u"Indexing %1 of %2 documents", u"正在建立索引：%1 / %2 个文档"},
    {371, u"Documents not in the content index", u"未编入内容索引的文档"},
    {372, u"Documents whose content index is out of date", u"内容索引已过时的文档"},
    {373, u"encrypted: a password is needed to read it", u"已加密：需要密码才能读取"},
    {374, u"damaged or malformed", u"文件已损坏或格式不正确"},
    {375, u"too big: only the beginning is indexed", u"文件太大：只索引了开头部分"},
    {376, u"empty: there is no text in it", u"空文件：其中没有文字"},
    {377, u"unknown type of file", u"未知的文件类型"},
    {378, u"not supported: a legacy Word, Excel or PowerPoint file", u"不支持：旧版 Word、Excel 或 PowerPoint 文件"},
    {379, u"scanned pages without text: not read", u"没有文字的扫描页面：未读取"},
    {380, u"took too long to read: stopped", u"读取时间过长：已停止"},
    {381, u"cannot be read", u"无法读取"},
    {382, u"the file is missing", u"文件不存在"},
    {383, u"a picture: scanned pages are not read", u"图片：不读取扫描的页面"},
    {384, u"page %1", u"第 %1 页"},
    {385, u"Documents found: %1", u"找到的文档：%1"},
    {386, u"No document contains this text.", u"没有文档包含这段文字。"},
    {387, u"Documents whose text was not indexed: %1", u"文字未编入索引的文档：%1"},
    {388, u"found in the text", u"在内容中找到"},
    {389, u"The content index cannot be opened", u"无法打开内容索引"},
    {390, u"Found in the text:", u"在内容中找到："},
    {391, u"Found in the text, on page %1:", u"在内容的第 %1 页找到："},
    {392, u"Documents cannot be read for content search: marrowdex-extract is missing beside the program or cannot run",
     u"无法读取文档内容以供搜索：程序旁边缺少 marrowdex-extract，或它无法运行"},
    {393, u"The content index cannot be saved", u"无法保存内容索引"},
    {420, u"A folder '%1' that no catalog uses is already in the Home Directory. Use it for this catalog?",
     u"主目录中已经有一个没有任何目录使用的文件夹“%1”。要把它用作这个目录吗？"},
    {450, u"Trash\u2026", u"回收站\u2026"},
    {451, u"Trash", u"回收站"},
    {452, u"Name", u"名称"},
    {453, u"Deleted on", u"删除时间"},
    {454, u"From", u"原来位置"},
    {455, u"Restore", u"还原"},
    {456, u"Delete for good", u"永久删除"},
    {457, u"Empty the trash", u"清空回收站"},
    {458, u"Delete \u201c%1\u201d for good? It cannot be restored afterwards.",
     u"永久删除\u201c%1\u201d？删除后将无法还原。"},
    {459, u"Empty the trash? Its %1 entries are deleted for good, which frees %2.",
     u"清空回收站？其中的 %1 项将被永久删除，可释放 %2。"},
    {460, u"The trash is empty", u"回收站是空的"},
    {461, u"The catalog it was deleted from is gone. Choose the catalog to restore it into:",
     u"它原来所在的目录已不存在。请选择要还原到的目录："},
    {462, u"Nothing was restored: this place is already taken:", u"未还原任何内容：这个位置已被占用："},
    {463, u"Nothing was restored: its files are no longer in the trash (Check shows what is missing).",
     u"未还原任何内容：它的文件已不在回收站中（\u201c检查\u201d会列出缺少的内容）。"},
    {464, u"The files could not be moved to the trash, so nothing was deleted.",
     u"无法把文件移入回收站，未删除任何内容。"},
    {465, u"These files lie on another file system than the trash and cannot be moved into it. Delete them for good?",
     u"这些文件与回收站不在同一个文件系统上，无法移入回收站。要永久删除它们吗？"},
    {466,
     u"The trash (.marrowdex-trash in the Home Directory) is not a folder, so nothing was changed. Check shows it.",
     u"回收站（主目录中的 .marrowdex-trash）不是文件夹，未做任何更改。\u201c检查\u201d会显示它。"},
    {467, u"It is no longer in the trash.", u"它已不在回收站中。"},
    {468, u"Emptying the trash, please wait", u"正在清空回收站，请稍候"},
    {469, u"Measuring the trash, please wait", u"正在计算回收站的大小，请稍候"},
    {470, u"Damaged trash", u"回收站已损坏"},
    {471, u"It could not be restored; nothing was changed.", u"无法还原，未做任何更改。"},
    {472, u"Restore from the trash", u"从回收站还原"},
    {473, u"What was deleted, newest first. Restore puts it back where it was, with its files.",
     u"已删除的内容，最新的在前。\u201c还原\u201d会把它连同文件放回原处。"},
    {474, u"Deleting for good, please wait", u"正在永久删除，请稍候"},
    {480, u"Undo", u"撤销"},
    {481, u"Redo", u"重做"},
    {482, u"Undo %1 '%2'", u"撤销%1“%2”"},
    {483, u"Redo %1 '%2'", u"重做%1“%2”"},
    {484, u"Add Catalog", u"添加目录"},
    {485, u"Add Document", u"添加文档"},
    {486, u"Drop", u"拖放"},
    {487, u"Import", u"导入"},
    {488, u"Rename", u"重命名"},
    {489, u"Edit Comment", u"编辑备注"},
    {490, u"Move", u"移动"},
    {491, u"Delete", u"删除"},
    {492, u"Repair", u"修复"},
    {493, u"Cannot Undo %1", u"无法撤销%1"},
    {494, u"It cannot be undone: its file or folder was changed outside the program since. Nothing was changed.",
     u"无法撤销：此后它的文件或文件夹在程序之外被更改过。未做任何更改。"},
    {495, u"It cannot be undone: the node or the catalog it goes back to is gone. Nothing was changed.",
     u"无法撤销：该节点或它要回到的目录已不存在。未做任何更改。"},
    {496, u"There is nothing to undo.", u"没有可撤销的操作。"},
    {497, u"There is nothing to redo.", u"没有可重做的操作。"},
    {498, u"A repair cannot be undone: what it changed has no sound way back. Earlier commands can no longer be "
          u"undone either.",
     u"修复无法撤销：它所做的更改无法可靠地还原。之前的命令也不能再撤销。"},
    {500, u"%1 nodes selected", u"已选择 %1 个节点"},
    {501, u"Delete %1 nodes and their files? They go to the trash.", u"删除 %1 个节点及其文件吗？它们会被移到回收站。"},
    {502, u"Delete %1 nodes? They go to the trash.", u"删除 %1 个节点吗？它们会被移到回收站。"},
    {503, u"These nodes cannot go:", u"以下节点无法处理："},
    {504, u"Go ahead with the other %1?", u"是否继续处理其余 %1 个节点？"},
    {505, u"None of the selected nodes can go:", u"所选节点都无法处理："},
    {506, u"The top of the tree cannot be moved", u"树的顶层不能移动"},
    {507, u"Moving, please wait", u"正在移动，请稍候"},
    {508, u"Deleting, please wait", u"正在删除，请稍候"},
    {509, u"These nodes were left as they were:", u"以下节点保持原样："},
};

static_assert(std::ranges::is_sorted(kEntries, {}, &Entry::id));

int g_useEnglish = 1;

} // namespace

const char16_t* FindUiString(int stringId, int languageId) {
    const auto entry = std::ranges::lower_bound(kEntries, stringId, {}, &Entry::id);
    if (entry == std::end(kEntries) || entry->id != stringId) {
        return nullptr;
    }
    switch (languageId) {
    case kLanguageEnglishUs:
        return entry->english;
    case kLanguageChineseSimplified:
        return entry->chinese;
    default:
        return nullptr;
    }
}

void ChooseUiLanguage() {
    g_useEnglish = UseEnglishFor(SystemDefaultLangId()) ? 1 : 0;
}

int UseEnglish() {
    return g_useEnglish;
}

int UiLanguage() {
    return g_useEnglish == 1 ? kLanguageEnglishUs : kLanguageChineseSimplified;
}

int LoadUiString(std::u16string* target, int stringId) {
    if (target == nullptr) {
        return 0;
    }
    if (const char16_t* text = FindUiString(stringId, UiLanguage())) {
        *target = text;
    }
    return 1;
}

std::u16string UiString(int stringId) {
    std::u16string text;
    LoadUiString(&text, stringId);
    return text;
}

std::u16string LanguageStrings::Text(int stringId) const {
    const char16_t* text = FindUiString(stringId, m_useEnglish ? kLanguageEnglishUs : kLanguageChineseSimplified);
    return text != nullptr ? std::u16string(text) : std::u16string();
}

} // namespace mwdx
