#!/usr/bin/python3
# Burns firmware (and PXE) images into the Zelvo cards of a managed host
# through zelvoctl's JSON documents.
from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r'''
---
module: zelvo_card
short_description: Burn firmware and PXE images into the Zelvo cards of a host
description:
  - Runs C(zelvoctl --json burn) on the managed host, on every Zelvo card or on
    the listed devices, all cards in parallel. Each card keeps its own user
    record (MAC addresses, serial number), is backed up before it is written,
    and is read back after.
  - The result is C(changed) exactly when some partition of some card was
    written (in check mode, when some card would be written). In check mode
    zelvoctl runs with C(--dry-run) and writes nothing.
  - When any card fails, the task fails with zelvoctl's error code and message;
    the other cards are still done, and every card's result is returned.
options:
  fw_image:
    description: Firmware image file on the managed host.
    type: path
    required: true
  pxe_image:
    description: PXE image file on the managed host, written before the firmware.
    type: path
  devices:
    description:
      - Interface names or PCI addresses of the cards to burn (one card each).
      - Empty (the default) burns every card of the host.
    type: list
    elements: str
    default: []
  backup_dir:
    description:
      - Folder under which each written card gets a new backup folder of its own.
      - Default zelvoctl's own, C(/var/lib/zelvoctl/backups).
    type: path
  history:
    description:
      - File to which zelvoctl appends one line per change it makes.
      - Default zelvoctl's own, C(/var/lib/zelvoctl/history.jsonl).
    type: path
  no_backup:
    description: Take no backup before writing.
    type: bool
    default: false
  force:
    description: Write partitions that already hold the image's bytes.
    type: bool
    default: false
  jobs:
    description: At most this many cards at a time (1 to 16).
    type: int
    default: 16
  zelvoctl:
    description: The zelvoctl program to run.
    type: path
    default: zelvoctl
notes:
  - Check mode is supported; diff mode is not.
  - The image files must be on the managed host.
'''

EXAMPLES = r'''
- name: Check first what a burn would write
  zelvo_card:
    fw_image: /srv/zelvo/fw-1.7.0.bin
  check_mode: true

- name: Burn every card, each keeping its own record
  zelvo_card:
    fw_image: /srv/zelvo/fw-1.7.0.bin
    pxe_image: /srv/zelvo/pxe-2.2.0.bin
    backup_dir: /srv/zelvo/backups
'''

RETURN = r'''
cards:
  description: One result per card in PCI address order, as zelvoctl reports it
    (pci_address, interface, status, outcome, written, plan, backup, verified,
    error when the card failed).
  returned: when zelvoctl got as far as the cards
  type: list
  elements: dict
summary:
  description: How many cards there were, written (or would_write), up_to_date and failed.
  returned: when zelvoctl got as far as the cards
  type: dict
status:
  description: zelvoctl's exit status (0 only when every card succeeded).
  returned: always
  type: int
error_code:
  description: zelvoctl's error code (for example io_failure, image_refused, usage).
  returned: failed
  type: str
'''

import json

from ansible.module_utils.basic import AnsibleModule


def zelvoctl_argv(params, check_mode):
    argv = [params['zelvoctl'], '--json']
    if params['history']:
        argv += ['--history', params['history']]
    argv.append('burn')
    argv += list(params['devices']) or ['--all']
    # --jobs makes even one listed device a set of cards: one document shape.
    argv += ['--jobs', str(params['jobs']), '--fw', params['fw_image']]
    if params['pxe_image']:
        argv += ['--pxe', params['pxe_image']]
    if params['backup_dir'] and not params['no_backup']:
        argv += ['--backup-dir', params['backup_dir']]
    for flag in ('no_backup', 'force'):
        if params[flag]:
            argv.append('--' + flag.replace('_', '-'))
    if check_mode:
        argv.append('--dry-run')
    return argv


def outcome(doc, check_mode):
    cards = doc.get('cards', [])
    changed = any(c.get('written') for c in cards)
    if check_mode:
        changed = changed or any(c.get('outcome') == 'would_write' for c in cards)
    return changed, cards


def main():
    module = AnsibleModule(
        argument_spec=dict(
            fw_image=dict(type='path', required=True),
            pxe_image=dict(type='path'),
            devices=dict(type='list', elements='str', default=[]),
            backup_dir=dict(type='path'),
            history=dict(type='path'),
            no_backup=dict(type='bool', default=False),
            force=dict(type='bool', default=False),
            jobs=dict(type='int', default=16),
            zelvoctl=dict(type='path', default='zelvoctl'),
        ),
        supports_check_mode=True,
    )
    argv = zelvoctl_argv(module.params, module.check_mode)
    rc, out, err = module.run_command(argv)
    try:
        doc = json.loads(out)
    except ValueError:
        module.fail_json(msg='zelvoctl printed no JSON document (status %d): %s' % (rc, err.strip() or out.strip()),
                         status=rc, cmd=argv, stderr=err)
    changed, cards = outcome(doc, module.check_mode)
    result = dict(changed=changed, cards=cards, summary=doc.get('summary', {}), status=doc.get('status', rc),
                  cmd=argv)
    error = doc.get('error')
    if error or rc != 0:
        error = error or {'code': 'status_%d' % rc, 'message': 'zelvoctl ended with status %d' % rc}
        module.fail_json(msg=error['message'], error_code=error['code'], **result)
    module.exit_json(**result)


if __name__ == '__main__':
    main()
